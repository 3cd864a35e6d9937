// GoogleTest main for widget tests (run with QT_QPA_PLATFORM=offscreen).
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
  // The tests expect the German texts, whatever the machine's locale (the
  // programs they start inherit it); a test about English sets its own.
  qputenv("LC_ALL", "C.UTF-8");
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
