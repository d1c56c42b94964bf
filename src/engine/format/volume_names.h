// SPDX-License-Identifier: GPL-3.0-or-later
// The names of the volume files of a set (docs/format.md, "Names of
// volumes"): the base name followed by an extension that tells the volume
// number.
#pragma once

#include <optional>
#include <string>

namespace tarvel {

// The file name of volume n of the set with the given base name:
// base.PAR for 0, base.P01..base.P99, then base.Q00, base.Q01, ... base.Q100 ...
std::string VolumeFileName(const std::string& baseName, int n);
// The inverse, with the extension in either case: the number that the bare
// name of a volume file stands for (0..255) and its base name, or nothing
// when the name is not base + a volume extension.
std::optional<int> VolumeNumberOfName(const std::string& name, std::string* baseName = nullptr);

}  // namespace tarvel
