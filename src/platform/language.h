// SPDX-License-Identifier: GPL-3.0-or-later
// The language of the texts a person reads.
//
// Every text is written in the program as the system's own text (the C and
// POSIX locales show it exactly so, which scripts and tests rely on) and
// looked up in the message catalogue of the person's language through
// gettext.  The catalogues are chosen as gettext chooses them: LANGUAGE (a
// list such as "de:en"), else LC_ALL, LC_MESSAGES, LANG.  A text with
// printf-style places is looked up whole, then filled (Fill), so that a
// translation may put the places where its language wants them.
//
// Two text domains: kTextDomain for the file layer, the engine and
// tarvel-cli, kWindowsTextDomain for the windows (installed with them).
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace tarvel {

inline constexpr char kTextDomain[] = "tarvel";
inline constexpr char kWindowsTextDomain[] = "tarvel-windows";

// `text` in the person's language: its translation in kTextDomain, `text`
// itself when there is none (always so in the C locale).
const char* Tr(const char* text);

// True when `text` has a translation in kTextDomain, which is then shown
// instead of it.
bool HasTranslation(const char* text);

// `format` with each "%s" replaced by the next of `values` in turn ("%%" is
// one "%").  A "%s" with no value left stays as it is; nothing else of
// printf's is read, so no translation can make it read beyond its values.
std::string Fill(std::string_view format, std::initializer_list<std::string_view> values);

// Tr(format) filled with `values`.
std::string TrFill(const char* format, std::initializer_list<std::string_view> values);

// The folder of the catalogues: the ones the build made when the program
// runs from its build tree, else share/locale beside the program's bin/
// folder (/usr/share/locale for /usr/bin/tarvel-cli).
std::string CatalogueFolder();

// Takes the person's locale (setlocale(LC_ALL, "")) with the numbers kept
// as the system writes them (LC_NUMERIC "C": scripts read them), and binds
// kTextDomain, and `extraDomain` when given, to CatalogueFolder() in UTF-8.
// Called once at the start of a program, before any text is looked up.
void StartLanguage(const char* extraDomain = nullptr);

// Binds `domain` to CatalogueFolder() with UTF-8 texts.
void BindTextDomain(const char* domain);

}  // namespace tarvel

// Marks a text for the catalogues and looks it up (see Tr).
#define TR(text) ::tarvel::Tr(text)
