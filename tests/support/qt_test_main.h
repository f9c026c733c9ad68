// main() of a Qt Test window test: the offscreen platform unless another is named, and the same
// sandboxed HOME, TMPDIR and XDG folders as every other test. `setup` runs once the application
// exists (font substitutes and the like).
#pragma once

#include <stdlib.h>

#include <QApplication>
#include <QtTest>

namespace vn::test {
void CreateSandbox();
void RemoveSandbox();
}  // namespace vn::test

#define VN_QTEST_MAIN(TestClass, setup)         \
  int main(int argc, char** argv) {             \
    setenv("QT_QPA_PLATFORM", "offscreen", 0);  \
    vn::test::CreateSandbox();                  \
    int result;                                 \
    {                                           \
      QApplication app(argc, argv);             \
      setup;                                    \
      TestClass test;                           \
      result = QTest::qExec(&test, argc, argv); \
    }                                           \
    vn::test::RemoveSandbox();                  \
    return result;                              \
  }
