// A window's controls as one table: name, kind, parent, place in twips,
// caption, font and tab order. Each window keeps its table in a file beside
// it and builds its controls from it; tests check what holds for every
// table (named, inside their parents, no overlaps, the tab order).
#pragma once

#include <QFont>
#include <QString>
#include <span>
#include <vector>

class QWidget;

namespace rfid::ui {

enum class ControlKind {
  Group,          // a group frame, its caption as title
  Label,          // plain text
  BorderedLabel,  // a box around centred text on the text boxes' colours
  StatusLabel,    // centred text on a background the window colours
  Box,            // a text box
  ReadOnlyBox,
  Button,         // never the default button: Enter in a box presses nothing
  ToolButton,     // a button with a picture above its caption
};

struct ControlRow {
  const char* name;
  ControlKind kind;
  const char* parent;  // a control's name, "Name(1)" for an array's element; nullptr: the window
  int left, top, width, height;  // twips, in the parent
  const char* caption = "";      // UTF-8
  const char* font = nullptr;    // family; nullptr: the window's own
  qreal points = 0;
  bool bold = false;
  int tab = -1;  // place in the tab order; -1: takes no focus by Tab
  int index = -1;  // element of a control array; -1: none
  // Described as reaching past its parent's edge (which cuts it) or over a
  // neighbour.
  bool overlaps = false;
};

// The control a row makes, by the row's name and index.
QString ControlKey(const char* name, int index);

// Makes every control of the table in window, in the table's order, named
// by its row (an array's elements share the name, with an "index"
// property), placed, captioned and in its font, and chains the tab order.
// Returns them in the table's order.
// A text that does not fit a width gets a smaller font, down to a readable
// floor, and then is cut at its end with an ellipsis: a long name keeps its
// start, which the operator checks. The labels of every table draw so.
inline constexpr qreal kFloorPoints = 7;
struct FittedText {
  QFont font;
  QString shown;
};
FittedText FitText(const QString& text, QFont font, int width);

// Moves a window that reaches past its screen's available area back inside
// it (its top-left corner kept inside when it is larger); one that fits
// stays where it was placed.
void KeepOnScreen(QWidget* window);

std::vector<QWidget*> BuildLayout(QWidget* window, std::span<const ControlRow> table);

}  // namespace rfid::ui
