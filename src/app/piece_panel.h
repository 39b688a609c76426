// The piece panel above the piano roll: a field for a parameter string that says what its
// numbers do as one types (what vordel-compose --explain says, the warnings first), and a list
// of strings to start from and of the pieces played before (this session's and the journal's),
// each with the clock that makes that very piece again. Enter plays what the field holds; Esc
// leaves the field. What playing means is the window's. Window thread only.
#pragma once

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "control/journal.h"

namespace vordel {

// The field's text in words: the explanation, and the warnings alone (one a line, "" for none).
struct FieldExplanation {
  std::string text;
  std::string warnings;
};
FieldExplanation ExplainField(const std::string& field);

class PiecePanel : public QWidget {
 public:
  // play(text, exact): the field's text, exact when it is a line that pins the clock.
  PiecePanel(std::function<void(const std::string&, bool)> play, QWidget* parent = nullptr);

  // Puts the cursor in the field, its text selected.
  void FocusField();
  bool FieldHasFocus() const;
  // Puts the keyboard on the history (arrows, Home and End choose a piece for the field).
  void FocusHistory();
  // The journal's last pieces, oldest first.
  void AddJournal(const std::vector<JournalEntry>& entries);
  // A piece made current in this session (its [Reproduce] command).
  void AddPlayed(const std::string& reproduce);
  const std::string& Warnings() const { return warnings_; }
  int HistoryCount() const { return history_->count(); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Explain();
  void AddHistory(const QString& label, const QString& line);

  std::function<void(const std::string&, bool)> play_;
  QLineEdit* field_;
  QComboBox* history_;
  QPlainTextEdit* explanation_;
  std::string warnings_;
  int examples_ = 0;
};

}  // namespace vordel
