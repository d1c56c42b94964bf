// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/folder_form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "engine/set/set_finder.h"
#include "ui/window_interaction.h"

namespace tarvel::ui {
namespace {

QString T(const std::string& s) { return WindowInteraction::Shown(s); }

// The words of the states a protect leaves a folder in.
QString StateWord(FolderState state) {
  switch (state) {
    case FolderState::kProtected:
      return TFolderForm::tr("protected");
    case FolderState::kUpToDate:
      return TFolderForm::tr("up to date");
    case FolderState::kRenewed:
      return TFolderForm::tr("renewed");
    case FolderState::kDamaged:
      return TFolderForm::tr("damaged");
    case FolderState::kMissing:
      return TFolderForm::tr("missing");
    case FolderState::kSkipped:
      break;
  }
  return TFolderForm::tr("skipped");
}

QString Counted(std::size_t n, const QString& one, const QString& many) {
  return QStringLiteral("%1 %2").arg(n).arg(n == 1 ? one : many);
}

// How bad an outcome is: the row shows its worst set.
enum Rank { kGood, kMendable, kBad };

// Every total line of a report ("All files are correct" and the like).
QString Totals(const SetReport& report) {
  QStringList totals;
  for (const ReportLine& line : ReportLines(report)) {
    if (line.kind == LineKind::kTotal) totals << T(line.text).trimmed();
  }
  return totals.join(QLatin1Char(' '));
}

// Resets the window interaction to showing reports and messages, however
// the set's action ends.
class Collecting {
 public:
  Collecting(WindowInteraction& ui, SetReport& report, bool& got,
             std::vector<std::string>& messages)
      : ui_(ui) {
    ui_.Collect(
        [&report, &got](const SetReport& r) {
          report = r;
          got = true;
        },
        [&messages](const std::string& m) { messages.push_back(m); });
  }
  ~Collecting() { ui_.Collect({}, {}); }
  Collecting(const Collecting&) = delete;
  Collecting& operator=(const Collecting&) = delete;

 private:
  WindowInteraction& ui_;
};

}  // namespace

TFolderForm::TFolderForm(Engine& engine, Env& env, WindowInteraction& ui, QWidget* mainWindow)
    : QDialog(mainWindow), engine_(engine), env_(env), ui_(ui) {
  setObjectName("FolderForm");
  setWindowTitle(tr("Folder"));
  setSizeGripEnabled(true);
  resize(760, 420);

  RootLabel = new QLabel(this);
  RootLabel->setObjectName("RootLabel");
  SetList = new QTreeWidget(this);
  SetList->setObjectName("SetList");
  SetList->setAccessibleName(tr("Sets"));
  SetList->setRootIsDecorated(false);
  SetList->setUniformRowHeights(true);
  SetList->setColumnCount(kColumns);
  SetList->setHeaderLabels(
      {tr("Folder"), tr("Set"), tr("State"), tr("Files"), tr("Bytes"), tr("Details")});
  SetList->header()->setStretchLastSection(true);
  for (const auto& [column, width] :
       {std::pair{kFolder, 200}, std::pair{kSet, 110}, std::pair{kState, 110},
        std::pair{kFiles, 60}, std::pair{kBytes, 100}}) {
    SetList->setColumnWidth(column, width);
  }
  auto* listLabel = new QLabel(tr("&Sets:"), this);
  listLabel->setBuddy(SetList);

  RepairButton = new QPushButton(tr("Repair &All"), this);
  RepairButton->setObjectName("RepairButton");
  RepairButton->setAccessibleName(tr("Repair All"));
  ReportButton = new QPushButton(tr("Show &Report"), this);
  ReportButton->setObjectName("ReportButton");
  ReportButton->setAccessibleName(tr("Show Report"));
  CancelButton = new QPushButton(tr("&Cancel"), this);
  CancelButton->setObjectName("CancelButton");
  CancelButton->setAccessibleName(tr("Cancel"));
  CloseButton = new QPushButton(tr("C&lose"), this);
  CloseButton->setObjectName("CloseButton");
  CloseButton->setAccessibleName(tr("Close"));
  StatusBar = new QStatusBar(this);
  StatusBar->setObjectName("StatusBar");
  StatusBar->setAccessibleName(tr("Status"));
  StatusBar->setSizeGripEnabled(false);
  for (QPushButton* b : {RepairButton, ReportButton, CancelButton, CloseButton}) {
    b->setAutoDefault(false);
  }

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(RepairButton);
  buttons->addWidget(ReportButton);
  buttons->addStretch();
  buttons->addWidget(CancelButton);
  buttons->addWidget(CloseButton);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(RootLabel);
  layout->addWidget(listLabel);
  layout->addWidget(SetList, 1);
  layout->addLayout(buttons);
  layout->addWidget(StatusBar);

  connect(CancelButton, &QPushButton::clicked, this, &TFolderForm::CancelRequested);
  connect(CloseButton, &QPushButton::clicked, this, &QDialog::close);
  connect(RepairButton, &QPushButton::clicked, this, &TFolderForm::RepairAllRequested);
  connect(ReportButton, &QPushButton::clicked, this, [this] {
    if (SetList->currentItem())
      emit OpenRequested(SetList->indexOfTopLevelItem(SetList->currentItem()));
  });
  connect(SetList, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
    emit OpenRequested(SetList->indexOfTopLevelItem(item));
  });
  connect(SetList, &QTreeWidget::currentItemChanged, this, &TFolderForm::UpdateButtons);
  UpdateButtons();
}

void TFolderForm::SetBusy(bool busy) {
  busy_ = busy;
  UpdateButtons();
}

bool TFolderForm::Repairable() const {
  return std::any_of(rows_.begin(), rows_.end(), [](const Row& r) { return r.repairable; });
}

void TFolderForm::UpdateButtons() {
  CancelButton->setEnabled(busy_);
  CloseButton->setEnabled(!busy_);
  RepairButton->setEnabled(!busy_ && Repairable());
  ReportButton->setEnabled(!busy_ && SetList->currentItem() != nullptr);
}

void TFolderForm::closeEvent(QCloseEvent* event) {
  // The window closed while it works stops the work first.
  if (busy_) {
    event->ignore();
    emit CancelRequested();
    return;
  }
  QDialog::closeEvent(event);
}

void TFolderForm::reject() {
  if (busy_) {
    emit CancelRequested();
    return;
  }
  QDialog::reject();
}

void TFolderForm::Start(const QString& title, const QString& root) {
  rows_.clear();
  root_ = WindowInteraction::Bytes(root);
  lastRow_ = -1;
  SetList->clear();
  setWindowTitle(title);
  RootLabel->setText(QDir::toNativeSeparators(root));
  StatusBar->showMessage(tr("Working..."));
  show();
  raise();
  activateWindow();
}

int TFolderForm::AddRow(Row row, const QStringList& texts) {
  rows_.push_back(std::move(row));
  auto* item = new QTreeWidgetItem(SetList);
  for (int c : {kFiles, kBytes}) item->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
  SetTexts(static_cast<int>(rows_.size()) - 1, texts);
  SetList->scrollToItem(item);
  UpdateButtons();
  // Shown as it is done, also when the engine lets no events run in between.
  QApplication::processEvents();
  return static_cast<int>(rows_.size()) - 1;
}

void TFolderForm::SetTexts(int row, const QStringList& texts) {
  QTreeWidgetItem* item = SetList->topLevelItem(row);
  for (int c = 0; c < kColumns && c < texts.size(); ++c) {
    item->setText(c, texts[c]);
    item->setToolTip(c, texts[c]);
  }
}

QString TFolderForm::Below(const std::string& folder) const {
  if (folder == root_) return QStringLiteral(".");
  if (folder.size() > root_.size() + 1 && folder.starts_with(root_) &&
      folder[root_.size()] == '/') {
    return T(folder.substr(root_.size() + 1));
  }
  return T(folder);
}

std::vector<std::vector<std::string>> TFolderForm::SetsOf(const std::string& folder) {
  std::vector<std::vector<std::string>> sets;
  for (FoundSet& set : FindSetsIn(env_, folder).sets) sets.push_back(std::move(set.volumes));
  return sets;
}

void TFolderForm::Protect(const QString& root) {
  Start(tr("Protect %1").arg(QDir::toNativeSeparators(root)), root);
  int counts[6] = {};
  int folders = 0;
  const auto summary = [&] {
    QString line = Counted(static_cast<std::size_t>(folders), tr("folder"), tr("folders")) + ":";
    for (int s = 0; s < 6; ++s) {
      line += (s == 0 ? " " : ", ") + QString::number(counts[s]) + " " +
              StateWord(static_cast<FolderState>(s));
    }
    return line + ".";
  };
  const auto each = [&](const FolderResult& r) {
    ++folders;
    ++counts[static_cast<int>(r.state)];
    Row row;
    row.folder = r.folder;
    QStringList details;
    switch (r.state) {
      case FolderState::kRenewed:
        for (const auto& [names, what] :
             {std::pair{&r.added, tr("added")}, std::pair{&r.edited, tr("edited")},
              std::pair{&r.dropped, tr("dropped")}}) {
          if (!names->empty()) details << QStringLiteral("%1 %2").arg(names->size()).arg(what);
        }
        break;
      case FolderState::kDamaged:
      case FolderState::kMissing:
        for (const std::string& name : r.damaged) {
          details << tr("%1 is damaged: repair restores it").arg(T(name));
        }
        for (const std::string& name : r.missing) {
          details << tr("%1 is missing: repair restores it").arg(T(name));
        }
        details << tr("the sets left as they were");
        // Its sets are what a repair mends.
        row.sets = SetsOf(r.folder);
        row.repairable = !row.sets.empty();
        break;
      case FolderState::kSkipped:
        details << T(r.note);
        break;
      default:
        break;
    }
    QString set = Counted(static_cast<std::size_t>(r.sets), tr("set"), tr("sets"));
    if (!row.sets.empty()) {
      QStringList names;
      for (const auto& volumes : row.sets) names << T(BareName(volumes.front()));
      set = names.join(", ");
    }
    // A folder left as it was is not counted again: its files are not
    // all known to be what its sets hold.
    const bool counted = r.files > 0 || r.state == FolderState::kSkipped;
    AddRow(std::move(row), {Below(r.folder), set, StateWord(r.state),
                            counted ? QString::number(r.files) : QString(),
                            counted ? QString::number(r.bytes) : QString(), details.join("; ")});
  };
  try {
    engine_.Protect(WindowInteraction::Bytes(root), ProtectOptions{}, each);
  } catch (...) {
    StatusBar->showMessage(summary());
    throw;
  }
  StatusBar->showMessage(summary());
}

void TFolderForm::Check(const QString& root) {
  Start(tr("Check %1").arg(QDir::toNativeSeparators(root)), root);
  const std::string top = WindowInteraction::Bytes(root);
  SetSearch found = FindSets(env_, top);
  for (const std::string& folder : found.unreadableFolders) {
    Row row;
    row.folder = folder;
    AddRow(std::move(row), {Below(folder), QString(), tr("cannot be read"), QString(), QString(),
                            tr("Folder %1 cannot be read").arg(T(folder))});
  }
  if (found.sets.empty() && found.unreadableFolders.empty()) {
    StatusBar->showMessage(tr("No volume set found in %1 or below it.").arg(T(top)));
    return;
  }
  for (FoundSet& set : found.sets) {
    const std::string folder = FolderOf(set.volumes.front());
    const QString name = T(BareName(set.volumes.front()));
    Row row;
    row.folder = folder;
    row.sets.push_back(std::move(set.volumes));
    const int r = AddRow(std::move(row), {Below(folder), name, tr("checking...")});
    CheckSet(r, 0, false);
  }
  int intact = 0, repairable = 0, bad = 0;
  for (const Row& row : rows_) {
    if (row.sets.empty()) continue;
    if (row.repairable) {
      ++repairable;
    } else if (row.reports.empty() || row.reports.front().badFiles +
                                              row.reports.front().badCrcOnly +
                                              row.reports.front().notChecked >
                                          0) {
      ++bad;
    } else {
      ++intact;
    }
  }
  StatusBar->showMessage(tr("%1: %2 intact, %3 repairable, %4 not repairable or not checked.")
                             .arg(Counted(found.sets.size(), tr("set"), tr("sets")))
                             .arg(intact)
                             .arg(repairable)
                             .arg(bad));
}

void TFolderForm::CheckSet(int row, std::size_t set, bool repair) {
  Row& r = rows_[static_cast<std::size_t>(row)];
  const std::vector<std::string>& volumes = r.sets[set];
  // The volume's folder is the set folder, where its files are looked for.
  QDir::setCurrent(WindowInteraction::Text(FolderOf(volumes.front())));
  SetReport report;
  bool got = false;
  std::vector<std::string> messages;
  Rank rank = kBad;
  QString state = tr("not checked");
  {
    Collecting collecting(ui_, report, got, messages);
    try {
      if (repair) {
        const RepairReport done = engine_.Repair(volumes);
        if (done.outcome == CheckOutcome::kChecked) {
          switch (done.result) {
            case RepairResult::kAllOk:
              rank = kGood, state = tr("repaired");
              break;
            case RepairResult::kDiffers:
              rank = kGood, state = tr("repaired, changed files left as they were");
              break;
            case RepairResult::kStillBad:
              state = tr("still damaged");
              break;
            case RepairResult::kUnchanged:
              state = tr("not repairable");
              break;
            case RepairResult::kNotChecked:
              break;
          }
        } else {
          state = tr("unreadable");
        }
      } else {
        const CheckReport done = engine_.Check(volumes);
        if (done.outcome == CheckOutcome::kChecked) {
          switch (done.state) {
            case SetState::kAllOk:
              rank = kGood, state = tr("intact");
              break;
            case SetState::kRepairable:
              rank = kMendable, state = tr("repairable");
              break;
            case SetState::kUnrepairable:
              state = tr("not repairable");
              break;
            case SetState::kNotChecked:
              break;
          }
        } else {
          state = tr("unreadable");
        }
      }
    } catch (const ActionStopped&) {
      ui_.HideProgress();
      throw;
    } catch (const ReportedFailure&) {
      // Its message is among the messages kept.
    } catch (const FileError& error) {
      messages.push_back(WithReason(error.what(), error.OsError()));
    } catch (const std::exception& error) {
      messages.push_back(error.what());
    }
  }
  ui_.HideProgress();
  lastRow_ = row, lastSet_ = set;
  if (r.reports.size() < r.sets.size()) r.reports.resize(r.sets.size());
  if (got) {
    r.reports[set] = report;
  } else {
    // Without a report there is nothing to show for the set.
    r.reports[set] = SetReport{};
  }
  r.messages = messages;
  r.repairable = rank == kMendable;
  r.mended = rank == kGood;
  QStringList details;
  if (got) details << Totals(report);
  for (const std::string& m : messages) details << T(m);
  std::int64_t bytes = 0;
  for (const FileReport& f : report.files) bytes += f.size;
  SetTexts(row, {SetList->topLevelItem(row)->text(kFolder), SetList->topLevelItem(row)->text(kSet),
                 state, got ? QString::number(report.files.size()) : QString(),
                 got ? QString::number(bytes) : QString(), details.join("; ")});
  UpdateButtons();
  QApplication::processEvents();
}

void TFolderForm::RepairAll() {
  int repaired = 0, left = 0;
  for (std::size_t row = 0; row < rows_.size(); ++row) {
    if (!rows_[row].repairable) continue;
    // Every set of the row: a folder's sets were damaged together or not.
    const std::size_t sets = rows_[row].sets.size();
    for (std::size_t set = 0; set < sets; ++set) CheckSet(static_cast<int>(row), set, true);
    ++(rows_[row].mended ? repaired : left);
  }
  StatusBar->showMessage(tr("%1 repaired, %2 not mended.").arg(repaired).arg(left));
}

void TFolderForm::OpenRow(int row) {
  if (row < 0 || static_cast<std::size_t>(row) >= rows_.size()) return;
  if (rows_[static_cast<std::size_t>(row)].sets.empty()) {
    // A protected folder's sets are found when asked for.
    rows_[static_cast<std::size_t>(row)].sets = SetsOf(rows_[static_cast<std::size_t>(row)].folder);
  }
  const std::size_t sets = rows_[static_cast<std::size_t>(row)].sets.size();
  for (std::size_t set = 0; set < sets; ++set) {
    // Restore Files of the report works on the set the engine checked last.
    if (lastRow_ != row || lastSet_ != set) CheckSet(row, set, false);
    const SetReport& report = rows_[static_cast<std::size_t>(row)].reports[set];
    if (report.files.empty() && report.volumes.empty()) continue;
    ui_.ShowReport(report);
    // A restore from the report changed the set: the row says how it is now.
    CheckSet(row, set, false);
  }
  // The person goes on in the list, not in the main window.
  raise();
  activateWindow();
}

}  // namespace tarvel::ui
