// Feeds arbitrary bytes to the DXF reader, with small bounds so that
// expansion limits are reached quickly: it either refuses them with a reason
// or gives a drawing within every bound, every coordinate finite.
#include <cmath>
#include <cstdint>
#include <string_view>

#include "cadfile/dxf_read.h"
#include "cadfile/path.h"
#include "fuzz/check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace orvane::cadfile;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  ReadOptions o;
  o.max_entities = 2000;
  o.max_vertices = 20000;
  o.max_nesting = 6;
  o.flatness = 1e-3;
  std::string error;
  const std::optional<Drawing> d = ReadDxf(text, o, &error);
  if (!d) {
    CHECK(!error.empty());
    return 0;
  }
  CHECK(d->entities.size() <= o.max_entities);
  size_t vertices = 0;
  for (const Entity& e : d->entities) {
    vertices += e.path.size();
    for (const Vertex& v : e.path) CHECK(std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.bulge));
    CHECK(std::isfinite(PathLength(e)));
  }
  CHECK(vertices <= o.max_vertices);
  return 0;
}
