// A promise a fuzz target states about the code under test: a broken one
// stops the run with the line that states it, so libFuzzer keeps the input.
#pragma once

#include <cstdio>
#include <cstdlib>

#define CHECK(ok)                                                          \
  do {                                                                     \
    if (!(ok)) {                                                           \
      std::fprintf(stderr, "check failed, line %d: %s\n", __LINE__, #ok); \
      std::abort();                                                        \
    }                                                                      \
  } while (0)
