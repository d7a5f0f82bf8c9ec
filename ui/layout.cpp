#include "layout.h"

#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QToolButton>
#include <algorithm>
#include <stdexcept>

#include "twips.h"

namespace rfid::ui {

QString ControlKey(const char* name, int index) {
  return index < 0 ? QString::fromLatin1(name) : QStringLiteral("%1(%2)").arg(name).arg(index);
}

namespace {

// A label that draws its text as FitText fits it. Its text stays whole.
class FittingLabel final : public QLabel {
 public:
  using QLabel::QLabel;

 protected:
  void paintEvent(QPaintEvent* event) override {
    const QRect room = contentsRect().adjusted(margin() + 1, margin(), -margin() - 1, -margin());
    const FittedText fitted = FitText(text(), font(), room.width());
    if (fitted.shown == text() && fitted.font == font()) {
      QLabel::paintEvent(event);
      return;
    }
    QFrame::paintEvent(event);  // the frame, without the text
    QPainter painter(this);
    painter.setFont(fitted.font);
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(room, int(alignment()) | Qt::TextSingleLine, fitted.shown);
  }
};

// A button whose caption is too wide for it draws the caption smaller
// rather than cut on both sides (its frame's two pixels a side kept clear),
// with the font it has when it paints: a style or a screen may change it.
class FittingButton final : public QPushButton {
 public:
  using QPushButton::QPushButton;

 protected:
  void paintEvent(QPaintEvent*) override {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    painter.drawControl(QStyle::CE_PushButtonBevel, option);
    painter.setFont(FitText(text(), font(), width() - 4).font);
    painter.drawControl(QStyle::CE_PushButtonLabel, option);
  }
};

QWidget* Make(const ControlRow& row, QWidget* parent) {
  const QString caption = QString::fromUtf8(row.caption);
  const auto label = [&] {
    auto* l = new FittingLabel(caption, parent);
    l->setTextFormat(Qt::PlainText);
    return l;
  };
  switch (row.kind) {
    case ControlKind::Group: return new QGroupBox(caption, parent);
    case ControlKind::Label: return label();
    case ControlKind::BorderedLabel: {
      QLabel* l = label();
      l->setFrameShape(QFrame::Box);
      l->setAlignment(Qt::AlignCenter);
      QPalette pal = l->palette();
      pal.setColor(QPalette::Window, pal.color(QPalette::Base));
      pal.setColor(QPalette::WindowText, pal.color(QPalette::Text));
      l->setPalette(pal);
      l->setAutoFillBackground(true);
      return l;
    }
    case ControlKind::StatusLabel: {
      QLabel* l = label();
      l->setAlignment(Qt::AlignCenter);
      l->setAutoFillBackground(true);
      return l;
    }
    case ControlKind::Box:
    case ControlKind::ReadOnlyBox: {
      auto* e = new QLineEdit(caption, parent);
      e->setReadOnly(row.kind == ControlKind::ReadOnlyBox);
      return e;
    }
    case ControlKind::Button: {
      auto* b = new FittingButton(caption, parent);
      b->setAutoDefault(false);
      return b;
    }
    case ControlKind::ToolButton: {
      auto* b = new QToolButton(parent);
      b->setText(caption);
      b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
      return b;
    }
  }
  throw std::logic_error("unknown control kind");
}

}  // namespace

FittedText FitText(const QString& text, QFont font, int width) {
  // The wider of the exact and the whole-pixel measure: on a scaled screen
  // (Windows at 150 %) the whole-pixel one can be the wider, and so drawn.
  const auto fits = [&](const QFont& f) {
    return std::max<qreal>(QFontMetricsF(f).horizontalAdvance(text), QFontMetrics(f).horizontalAdvance(text)) <=
           width;
  };
  if (text.isEmpty() || fits(font)) return {font, text};
  const qreal points = font.pointSizeF() > 0 ? font.pointSizeF() : QFontInfo(font).pointSizeF();
  for (qreal p = points - 0.5; p > kFloorPoints - 0.5; p -= 0.5) {
    font.setPointSizeF(std::max(p, kFloorPoints));  // half points down, the floor itself last
    if (fits(font)) return {font, text};
  }
  return {font, QFontMetrics(font).elidedText(text, Qt::ElideRight, width)};
}

namespace {

void MoveInside(QWidget* window) {
  const QScreen* screen = window->screen();
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  const QRect frame = window->frameGeometry();
  const int x = std::max(area.left(), std::min(frame.left(), area.right() + 1 - frame.width()));
  const int y = std::max(area.top(), std::min(frame.top(), area.bottom() + 1 - frame.height()));
  if (x != frame.left() || y != frame.top()) window->move(x, y);
}

// On X11 a window's frame is known only once the window manager has framed
// it, after the window is shown: the window is moved inside again then, once.
class InsideOnceFramed final : public QObject {
 public:
  explicit InsideOnceFramed(QWidget* window) : QObject(window) {
    setObjectName(QStringLiteral("rfid-inside-once-framed"));
    window->installEventFilter(this);
  }
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* window = static_cast<QWidget*>(watched);
    // Its first paint comes after the framing. Move events do not serve: a
    // window manager may frame a window without moving it, and the move of
    // the reparenting says 0,0 for a moment. A frame not yet around the
    // window is not yet placed.
    const QRect frame = window->frameGeometry();
    if (event->type() == QEvent::Paint && frame != window->geometry() && frame.contains(window->geometry())) {
      window->removeEventFilter(this);
      deleteLater();
      MoveInside(window);
    }
    return false;
  }
};

}  // namespace

void KeepOnScreen(QWidget* window) {
  MoveInside(window);
  if (window->frameGeometry() == window->geometry() && QGuiApplication::platformName() == u"xcb" &&
      !window->findChild<QObject*>(QStringLiteral("rfid-inside-once-framed"), Qt::FindDirectChildrenOnly))
    new InsideOnceFramed(window);
}

std::vector<QWidget*> BuildLayout(QWidget* window, std::span<const ControlRow> table) {
  QMap<QString, QWidget*> made;
  std::vector<QWidget*> controls;
  std::vector<std::pair<int, QWidget*>> tabbed;
  for (const ControlRow& row : table) {
    QWidget* parent = row.parent ? made.value(QString::fromLatin1(row.parent)) : window;
    if (!parent) throw std::logic_error(std::string("layout: no parent ") + row.parent);
    QWidget* w = Make(row, parent);
    w->setObjectName(QString::fromLatin1(row.name));
    if (row.index >= 0) w->setProperty("index", row.index);
    if (row.overlaps) w->setProperty("overlaps", true);
    if (row.font) w->setFont(Font(QString::fromUtf8(row.font), row.points, row.bold));
    PlaceTwips(w, row.left, row.top, row.width, row.height);
    if (row.tab >= 0) {
      w->setFocusPolicy(Qt::StrongFocus);
      tabbed.emplace_back(row.tab, w);
    }
    made.insert(ControlKey(row.name, row.index), w);
    controls.push_back(w);
  }
  std::sort(tabbed.begin(), tabbed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  for (std::size_t i = 1; i < tabbed.size(); ++i)
    QWidget::setTabOrder(tabbed[i - 1].second, tabbed[i].second);
  return controls;
}

}  // namespace rfid::ui
