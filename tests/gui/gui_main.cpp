// One QApplication for all GUI tests, on the offscreen platform unless the
// environment names another (test discovery runs without the test's
// environment).
#include <gtest/gtest.h>

#include <QApplication>
#include <QtGlobal>

// Read by ThreadSanitizer, when the tests are built with it. Qt is not built
// with it: Qt's locks (futexes) are invisible to it, so memory that Qt hands
// between its own threads, or allocates on one thread and frees on another,
// looks raced. The memory operations of Qt's libraries themselves are
// ignored; the program's own code stays checked.
extern "C" const char* __tsan_default_suppressions() {
  return "called_from_lib:libQt6Core.so.6\n"
         "called_from_lib:libQt6Gui.so.6\n"
         "called_from_lib:libQt6Widgets.so.6\n";
}

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  QApplication application(argc, argv);
  return RUN_ALL_TESTS();
}
