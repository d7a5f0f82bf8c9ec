// What holds for every window built from its layout table (ui/layout.h).
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <map>
#include <set>
#include <span>

#include "layout.h"
#include "twips.h"

namespace rfid::testing {

inline QString TextOf(QWidget* w) {
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
  if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
  if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
  return {};
}

// Each row's control under its name and parent, placed and (as built)
// captioned as the row says; inside its parent and over no sibling, unless
// described so; Tab through the rows' tab order and round again.
inline void ExpectLayoutHolds(QWidget* window, std::span<const ui::ControlRow> table, bool asBuilt = true) {
  std::map<QString, QWidget*> byKey;
  std::map<int, QWidget*> tabbed;
  for (QWidget* w : window->findChildren<QWidget*>()) {
    const QVariant index = w->property("index");
    byKey[ui::ControlKey(w->objectName().toLatin1().constData(), index.isValid() ? index.toInt() : -1)] = w;
  }
  std::set<QWidget*> rows;
  for (const ui::ControlRow& row : table) rows.insert(byKey[ui::ControlKey(row.name, row.index)]);
  for (const ui::ControlRow& row : table) {
    const QString key = ui::ControlKey(row.name, row.index);
    SCOPED_TRACE(key.toStdString());
    QWidget* w = byKey[key];
    ASSERT_NE(w, nullptr);
    QWidget* parent = row.parent ? byKey[QString::fromLatin1(row.parent)] : window;
    EXPECT_EQ(w->parentWidget(), parent);
    EXPECT_EQ(w->geometry(), QRect(ui::Twips(row.left), ui::Twips(row.top), ui::Twips(row.width),
                                   ui::Twips(row.height)));
    if (asBuilt && !qobject_cast<QLineEdit*>(w)) EXPECT_EQ(TextOf(w).toStdString(), row.caption);
    if (row.font) EXPECT_EQ(w->font().family().toStdString(), row.font);
    // A caption reads whole at its font, smaller if need be (a raster font,
    // as Wine's stand-in for MS Sans Serif is, gets no smaller).
    const bool scalable = QFontDatabase::isScalable(QFontInfo(w->font()).family());
    if (auto* l = qobject_cast<QLabel*>(w); scalable && l && !l->text().isEmpty()) {
      EXPECT_EQ(ui::FitText(l->text(), l->font(), l->contentsRect().width() - 2).shown, l->text());
    }
    if (auto* b = qobject_cast<QPushButton*>(w); scalable && b) {
      const QFont drawn = ui::FitText(b->text(), b->font(), b->width() - 4).font;
      EXPECT_LE(QFontMetrics(drawn).horizontalAdvance(QString(b->text()).remove('&')), b->width() - 4)
          << QFontInfo(drawn).family().toStdString() << " " << drawn.pointSizeF() << " pt";
    }
    if (row.tab >= 0) tabbed[row.tab] = w;
    if (row.overlaps) continue;
    if (row.parent)
      EXPECT_TRUE(QRect(QPoint(0, 0), parent->size()).contains(w->geometry())) << "outside its parent";
    for (QWidget* sibling : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
      if (sibling != w && rows.count(sibling) && !sibling->property("overlaps").toBool())
        EXPECT_FALSE(w->geometry().intersects(sibling->geometry()))
            << "overlaps " << sibling->objectName().toStdString();
  }
  // Tab goes from each to the next, the last back to the first; nothing
  // else of the window takes focus by Tab.
  ASSERT_FALSE(tabbed.empty());
  QWidget* w = tabbed.begin()->second;
  for (auto it = tabbed.begin(); it != tabbed.end(); ++it) {
    EXPECT_EQ(w, it->second) << "tab " << it->first;
    do w = w->nextInFocusChain();
    while (!(w->focusPolicy() & Qt::TabFocus) || w == window || !w->isEnabled());
  }
  EXPECT_EQ(w, tabbed.begin()->second);
}

}  // namespace rfid::testing
