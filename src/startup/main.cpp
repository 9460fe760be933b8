// Program entry: for now the run-time starts its Qt application and leaves.
#include <QApplication>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  return 0;
}
