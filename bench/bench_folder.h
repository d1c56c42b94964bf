// SPDX-License-Identifier: GPL-3.0-or-later
// A new folder for a benchmark's files: below TARVEL_BENCH_DIR when it is
// set (a disk of one's choice), else below the temporary folder.
#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace tarvel::bench {

inline std::string MakeBenchFolder() {
  const char* base = std::getenv("TARVEL_BENCH_DIR");
  std::string tmpl = (std::filesystem::path(base ? base : std::filesystem::temp_directory_path()) /
                      "tarvel-bench-XXXXXX")
                         .string();
  if (mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  return tmpl;
}

}  // namespace tarvel::bench
