// main() of the Qt test programs: the application exists for every test.
#include <gtest/gtest.h>

#include <QApplication>

#include "qt_test_support.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  fennick::test::PrepareQtTestProcess();
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
