// A simulated GigE Vision camera for the tests: the camera library's own
// simulator served on an address of this machine, with the pictures of
// served_pattern.h. Prints "ready" on standard output once it answers on the
// network, and runs until SIGTERM or SIGINT.
//
//   gv_camera_simulator [ADDRESS [SERIAL]]    default 127.0.0.1 GV01
#include <arv.h>
#include <glib-unix.h>

#include <csignal>
#include <cstdio>

namespace {

gboolean Quit(gpointer loop) {
  g_main_loop_quit(static_cast<GMainLoop*>(loop));
  return G_SOURCE_REMOVE;
}

} // namespace

int main(int argc, char** argv) {
  const char* address = argc > 1 ? argv[1] : "127.0.0.1";
  const char* serial = argc > 2 ? argv[2] : "GV01";
  ArvGvFakeCamera* camera = arv_gv_fake_camera_new(address, serial);
  if (camera == nullptr || !arv_gv_fake_camera_is_running(camera)) {
    std::fprintf(stderr, "gv_camera_simulator: cannot serve on %s\n", address);
    return 1;
  }
  GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
  g_unix_signal_add(SIGTERM, Quit, loop);
  g_unix_signal_add(SIGINT, Quit, loop);
  std::printf("ready\n");
  std::fflush(stdout);
  g_main_loop_run(loop);
  g_main_loop_unref(loop);
  g_object_unref(camera);
  return 0;
}
