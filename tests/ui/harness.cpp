// SPDX-License-Identifier: GPL-3.0-or-later
#include "harness.h"

#include <QFile>
#include <chrono>
#include <filesystem>
#include <random>

#include "engine/engine.h"
#include "support/scripted_interaction.h"

namespace tarvel::uitest {

void Harness::Write(const QString& name, int size, int seed) const {
  std::mt19937 rng(static_cast<unsigned>(seed));
  QByteArray bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(rng());
  QFile file(Path(name));
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != size) qFatal("cannot write");
}

void Harness::Corrupt(const QString& name, int size, int seed) const {
  const std::filesystem::path path = Path(name).toStdString();
  const auto kept = std::filesystem::last_write_time(path);
  Write(name, size, seed);
  std::filesystem::last_write_time(path, kept);
}

void Harness::Edit(const QString& name, int size, int seed) const {
  Write(name, size, seed);
  std::filesystem::last_write_time(
      Path(name).toStdString(),
      std::filesystem::file_time_type::clock::now() + std::chrono::seconds(2));
}

QByteArray Harness::Read(const QString& name) const {
  QFile file(Path(name));
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList Harness::Files() const {
  return QDir(folder.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

void Harness::CreateSet(const QStringList& names, const QString& base, int parityCount) {
  std::vector<std::string> paths;
  for (const QString& n : names) paths.push_back(Path(n).toStdString());
  // Made by an engine of its own, so that no window of the test shows.
  testing::ScriptedInteraction answers;
  answers.setChoices.push_back(SetChoice{true, parityCount, Path(base).toStdString()});
  Engine engine(Env::Default(), answers);
  if (engine.Create(paths) != CreateOutcome::kCreated) qFatal("the set could not be created");
}

}  // namespace tarvel::uitest
