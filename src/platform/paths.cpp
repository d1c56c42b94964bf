// SPDX-License-Identifier: GPL-3.0-or-later
// Path helpers and the texts of file-layer errors.
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

#include "platform/env.h"
#include "platform/language.h"

namespace tarvel {

namespace {

// `name` from the root: the system's texts name a file as the caller gave
// it, a translation names it by its full path.
std::string FullPath(const std::string& name) {
  if (name.empty() || name[0] == '/') return name;
  std::string folder(256, '\0');
  while (getcwd(folder.data(), folder.size()) == nullptr) {
    if (errno != ERANGE) return name;
    folder.resize(folder.size() * 2);
  }
  folder.resize(std::strlen(folder.c_str()));
  std::string_view rest = name;
  while (rest.substr(0, 2) == "./") rest.remove_prefix(2);
  if (rest == ".") return folder;
  return JoinPath(folder, std::string(rest));
}

std::string NamingText(const char* format, const std::string& name) {
  return HasTranslation(format) ? TrFill(format, {FullPath(name)}) : Fill(format, {name});
}

}  // namespace

std::string CannotOpenText(const std::string& name) {
  return NamingText("Datei %s kann nicht geöffnet werden", name);
}

std::string CannotCreateText(const std::string& name) {
  return NamingText("Datei %s kann nicht erstellt werden", name);
}

std::string CannotWriteText(const std::string& name) {
  return NamingText("Datei %s kann nicht geschrieben werden", name);
}

std::string CannotReadText(const std::string& name) {
  return NamingText("Datei %s kann nicht gelesen werden", name);
}

std::string CannotListText(const std::string& folder) {
  return NamingText("Ordner %s kann nicht gelesen werden", folder);
}

std::string CannotSyncFolderText(const std::string& folder) {
  return NamingText("Ordner %s kann nicht geschrieben werden", folder);
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
