// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/command.h"

int main(int argc, char** argv) { return tarvel::cli::Run(argc, argv, tarvel::Env::Default()); }
