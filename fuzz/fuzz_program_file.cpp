// Arbitrary bytes as an inspection program's file: the reader takes them
// whole or refuses them naming a line, never crashes, and leaves the program
// it was given alone on refusal. A program it takes writes a text that reads
// back to the same program and writes the same text again; its model loads.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/check.h"
#include "inspect/program_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  orvane::Program program;
  program.name = "FUZZ";
  std::string error;
  if (!orvane::ParseProgram(text, &program, &error)) {
    CHECK(error.rfind("line ", 0) == 0 || error == "the file is too large for a program");
    CHECK(program.name == "FUZZ" && program.steps.empty() && program.model.empty());
    return 0;
  }
  CHECK(program.name == "FUZZ");
  const std::string written = orvane::ProgramText(program);
  orvane::Program again;
  again.name = "FUZZ";
  CHECK(orvane::ParseProgram(written, &again, &error));
  CHECK(again == program);
  CHECK(orvane::ProgramText(again) == written);
  const orvane::ProgramModel model(program);
  CHECK(model.problem().empty());
  CHECK(program.model.empty() == (model.get() == nullptr));
  return 0;
}
