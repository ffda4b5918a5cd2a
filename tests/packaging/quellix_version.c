/* Built against the installed library through pkg-config: prints its version. */
#include <stdio.h>
#include <quellix.h>
int main(void) {
    printf("quellix %d\n", (int)qlxVersion(NULL));
    return 0;
}
