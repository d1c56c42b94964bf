// SPDX-License-Identifier: GPL-3.0-or-later
// Path helpers and the texts of file-layer errors.
#include <cerrno>
#include <cstring>

#include "platform/env.h"

namespace tarvel {

std::string CannotOpenText(const std::string& name) {
  return "Datei " + name + " kann nicht geöffnet werden";
}

std::string CannotCreateText(const std::string& name) {
  return "Datei " + name + " kann nicht erstellt werden";
}

std::string CannotWriteText(const std::string& name) {
  return "Datei " + name + " kann nicht geschrieben werden";
}

std::string CannotReadText(const std::string& name) {
  return "Datei " + name + " kann nicht gelesen werden";
}

std::string CannotListText(const std::string& folder) {
  return "Ordner " + folder + " kann nicht gelesen werden";
}

std::string CannotSyncFolderText(const std::string& folder) {
  return "Ordner " + folder + " kann nicht geschrieben werden";
}

std::string WithReason(const std::string& text, int osError) {
  if (osError == 0) return text;
  return text + " (" + std::strerror(osError) + ")";
}

bool IsDamageError(int osError) {
  switch (osError) {
    case EIO:
    case ENXIO:
    case EBADMSG:
    case EUCLEAN:
    case ENODATA:
      return true;
    default:
      return false;
  }
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return "";
  // "a//b" has the folder "a"; "/x" and "//x" have the root.
  const std::size_t end = path.find_last_not_of('/', slash);
  if (end == std::string::npos) return "/";
  return path.substr(0, end + 1);
}

std::string BareName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace tarvel
