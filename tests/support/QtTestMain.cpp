// GoogleTest main with a Qt application object, so code that queues calls to
// the GUI thread (Postpone, timers) can be tested by spinning the event loop.
#include <gtest/gtest.h>

#include <QCoreApplication>

int main(int argc, char** argv) {
  // The tests expect the German texts, whatever the machine's locale (the
  // programs they start inherit it); a test about English sets its own.
  qputenv("LC_ALL", "C.UTF-8");
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
