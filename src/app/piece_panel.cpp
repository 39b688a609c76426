#include "app/piece_panel.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QVBoxLayout>
#include <sstream>

#include "composer/explain.h"
#include "composer/parameter_string.h"
#include "composer/piece.h"

namespace vordel {
namespace {

// The strings README starts from.
constexpr const char* kExamples[][2] = {
    {"0 60 40 10 15", "short, about 20 s"},
    {"0 80 40 30 25 1 50 30 23 20", "the start-up piece, about a minute"},
    {"0 40 30 60 100 3 50 20 40 100 4 60 20 40 100 1 70 40 20 60 2 30 45 10 60",
     "long and dense, about 12 minutes"},
};
constexpr int kHistoryKept = 200;

bool PinsClock(const std::string& text) {
  return text.find("--clock") != std::string::npos;
}

// The explanation with each section's warnings also beside the line of the number they concern
// ("section 2: tempo 200 is outside ..." beside section 2's tempo line).
std::string WarningsBesideNumbers(const std::string& explanation,
                                  const std::vector<std::string>& warnings) {
  std::istringstream lines(explanation);
  std::string out;
  std::string line;
  std::string section;  // "section 2: " while in section 2's lines
  while (std::getline(lines, line)) {
    if (line.rfind("Section ", 0) == 0) {
      section = "s" + line.substr(1, line.find(':') - 1) + ": ";
    }
    out += line;
    for (const std::string& w : warnings) {
      if (section.empty() || w.rfind(section, 0) != 0 || line.size() < 3 || line[2] == ' ') {
        continue;
      }
      // "  tempo        200  ..." and "section 2: tempo 200 ...": the same field's name.
      const std::string field = line.substr(2, line.find(' ', 2) - 2);
      if (w.compare(section.size(), field.size() + 1, field + " ") == 0) {
        out += "   <- " + w.substr(section.size());
      }
    }
    out += "\n";
  }
  return out;
}

}  // namespace

FieldExplanation ExplainField(const std::string& field) {
  FieldExplanation out;
  PieceParameters parameters;
  if (PinsClock(field)) {
    std::string error;
    const std::optional<PieceRecipe> recipe = ReadRecipe(field, &error);
    if (!recipe) {
      out.warnings = error;
      out.text = "Warning: " + error;
      return out;
    }
    parameters = recipe->parameters;
    out.text = "That very piece again (its clock is pinned).\n";
  } else {
    parameters = PieceParameters::Parse(field);
  }
  const std::vector<std::string> warnings = ParameterWarnings(parameters);
  for (const std::string& w : warnings) {
    out.warnings += (out.warnings.empty() ? "" : "\n") + w;
  }
  if (!parameters.accepted()) {
    out.warnings += (out.warnings.empty() ? "" : "\n") + parameters.refusal();
  }
  out.text += (out.warnings.empty() ? "" : "Warning: " + out.warnings + "\n\n") +
              WarningsBesideNumbers(ExplainParameters(parameters, Piece()), warnings);
  return out;
}

PiecePanel::PiecePanel(std::function<void(const std::string&, bool)> play, QWidget* parent)
    : QWidget(parent),
      play_(std::move(play)),
      field_(new QLineEdit(this)),
      history_(new QComboBox(this)),
      explanation_(new QPlainTextEdit(this)) {
  // Qt's parents own their children and layouts.
  auto* column = new QVBoxLayout(this);  // NOLINT(cppcoreguidelines-owning-memory)
  column->setContentsMargins(4, 4, 4, 0);
  auto* row = new QHBoxLayout();  // NOLINT(cppcoreguidelines-owning-memory)
  auto* label = new QLabel("&Piece:", this);
  label->setBuddy(field_);
  field_->setObjectName("piece");
  field_->setPlaceholderText("five numbers a section, e.g. 0 60 40 10 15 - Enter plays it");
  field_->setToolTip(
      "Function, register, velocity base, tempo, length; five a section. Enter composes and "
      "plays, Esc leaves the field (Ctrl+L comes back).");
  field_->installEventFilter(this);
  history_->setObjectName("history");
  history_->setToolTip("Strings to start from and the pieces played before; one goes to the field");
  history_->setMinimumContentsLength(24);
  history_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  history_->addItem("Examples and history");
  for (const auto& [text, what] : kExamples) {
    AddHistory(QString("%1  (%2)").arg(text, what), text);
    ++examples_;
  }
  row->addWidget(label);
  row->addWidget(field_, 3);
  row->addWidget(history_, 2);
  column->addLayout(row);
  explanation_->setObjectName("explanation");
  explanation_->setReadOnly(true);
  explanation_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  explanation_->setMaximumHeight(explanation_->fontMetrics().lineSpacing() * 6 + 12);
  explanation_->setFocusPolicy(Qt::ClickFocus);
  explanation_->hide();
  column->addWidget(explanation_);
  QObject::connect(field_, &QLineEdit::textChanged, this, [this] { Explain(); });
  QObject::connect(field_, &QLineEdit::returnPressed, this, [this] {
    const std::string text = field_->text().trimmed().toStdString();
    if (!text.empty()) {
      play_(text, PinsClock(text));
    }
  });
  QObject::connect(history_, &QComboBox::activated, this, [this](int index) {
    if (index > 0) {
      field_->setText(history_->itemData(index).toString());
      FocusField();
    }
  });
}

void PiecePanel::FocusField() {
  field_->setFocus(Qt::ShortcutFocusReason);
  field_->selectAll();
}

void PiecePanel::FocusHistory() {
  history_->setFocus(Qt::ShortcutFocusReason);
}

bool PiecePanel::FieldHasFocus() const {
  return field_->hasFocus();
}

bool PiecePanel::eventFilter(QObject* watched, QEvent* event) {
  if (watched == field_ && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
    // Leaves the field for the window, where Space plays and stops.
    field_->clearFocus();
    if (parentWidget() != nullptr) {
      parentWidget()->setFocus(Qt::OtherFocusReason);
    }
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void PiecePanel::Explain() {
  const std::string text = field_->text().trimmed().toStdString();
  if (text.empty()) {
    warnings_.clear();
    explanation_->hide();
    return;
  }
  const FieldExplanation e = ExplainField(text);
  warnings_ = e.warnings;
  explanation_->setPlainText(QString::fromStdString(e.text));
  explanation_->show();
}

void PiecePanel::AddHistory(const QString& label, const QString& line) {
  history_->addItem(label, line);
  // The oldest played ones go first; the examples stay.
  while (history_->count() > 1 + examples_ + kHistoryKept) {
    history_->removeItem(1 + examples_);
  }
}

void PiecePanel::AddJournal(const std::vector<JournalEntry>& entries) {
  for (const JournalEntry& e : entries) {
    const QString line = QString::fromStdString(e.reproduce);
    AddHistory(QString::fromStdString(e.start + " (" + e.how + ")  ") + line, line);
  }
}

void PiecePanel::AddPlayed(const std::string& reproduce) {
  const QString line = QString::fromStdString(reproduce);
  AddHistory("this session  " + line, line);
}

}  // namespace vordel
