// The yardstick for the console's start-up: a Qt Widgets program that only
// shows a window, and says when it has.
#include <QApplication>
#include <QDebug>
#include <QLabel>
#include <QTimer>
#include <QWidget>

// With a word, the window also shows it in a label: the same yardstick with
// the font machinery that any text brings. With --exit it closes as soon as
// it is shown: the yardstick for a start-to-exit run.
int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget window;
  window.resize(490, 186);
  const bool exitAtOnce = argc > 1 && qstrcmp(argv[1], "--exit") == 0;
  if (argc > 1 && !exitAtOnce) (new QLabel(QString::fromLocal8Bit(argv[1]), &window))->adjustSize();
  window.show();
  if (exitAtOnce) QTimer::singleShot(0, &window, &QWidget::close);
  qInfo() << "shown";
  return app.exec();
}
