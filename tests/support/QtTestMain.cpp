// GoogleTest main with a Qt application object, so code that queues calls to
// the GUI thread (Postpone, timers) can be tested by spinning the event loop.
#include <gtest/gtest.h>

#include <QCoreApplication>

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
