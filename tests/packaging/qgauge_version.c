/* Built against the installed gauge library through pkg-config: prints its version. */
#include <stdio.h>
#include <qgauge.h>
int main(void) {
    printf("qgauge %d\n", (int)qgVersion());
    return 0;
}
