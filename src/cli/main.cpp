// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/command.h"
#include "platform/language.h"

int main(int argc, char** argv) {
  tarvel::StartLanguage();
  return tarvel::cli::Run(argc, argv, tarvel::Env::Default());
}
