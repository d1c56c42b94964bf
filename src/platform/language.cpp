// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/language.h"

#include <libintl.h>
#include <unistd.h>

#include <clocale>
#include <cstring>

namespace tarvel {

const char* Tr(const char* text) { return dgettext(kTextDomain, text); }

bool HasTranslation(const char* text) { return std::strcmp(Tr(text), text) != 0; }

std::string Fill(std::string_view format, std::initializer_list<std::string_view> values) {
  std::string out;
  out.reserve(format.size() + 64);
  const std::string_view* next = values.begin();
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size()) {
      if (format[i + 1] == '%') {
        out += '%';
        ++i;
        continue;
      }
      if (format[i + 1] == 's' && next != values.end()) {
        out.append(*next++);
        ++i;
        continue;
      }
    }
    out += format[i];
  }
  return out;
}

std::string TrFill(const char* format, std::initializer_list<std::string_view> values) {
  return Fill(Tr(format), values);
}

namespace {

std::string ProgramPath() {
  std::string path(4096, '\0');
  const ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= path.size()) return {};
  path.resize(static_cast<std::size_t>(n));
  return path;
}

std::string FolderPart(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

std::string CatalogueFolder() {
  const std::string program = ProgramPath();
#ifdef TARVEL_BUILD_TREE
  const std::string tree = TARVEL_BUILD_TREE "/";
  if (program.compare(0, tree.size(), tree) == 0) return TARVEL_BUILD_CATALOGUES;
#endif
  const std::string prefix = FolderPart(FolderPart(program));
  if (program.empty()) return TARVEL_INSTALLED_CATALOGUES;
  return prefix + "/" + TARVEL_RELATIVE_CATALOGUES;
}

void BindTextDomain(const char* domain) {
  static const std::string folder = CatalogueFolder();
  bindtextdomain(domain, folder.c_str());
  bind_textdomain_codeset(domain, "UTF-8");
}

void StartLanguage(const char* extraDomain) {
  std::setlocale(LC_ALL, "");
  std::setlocale(LC_NUMERIC, "C");
  BindTextDomain(kTextDomain);
  if (extraDomain != nullptr) BindTextDomain(extraDomain);
}

}  // namespace tarvel
