// The yardstick for the console's start-up: a Qt Widgets program that only
// shows a window, and says when it has.
#include <QApplication>
#include <QDebug>
#include <QLabel>
#include <QWidget>

// With a word, the window also shows it in a label: the same yardstick with
// the font machinery that any text brings.
int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget window;
  window.resize(490, 186);
  if (argc > 1) (new QLabel(QString::fromLocal8Bit(argv[1]), &window))->adjustSize();
  window.show();
  qInfo() << "shown";
  return app.exec();
}
