// The main of test programs whose tests start workers. A test may end with a
// worker let go, as the program may: the test program then ends the way the
// program does, without the exit handlers that would tear the TLS library
// down under the worker.
#include <gtest/gtest.h>

#include "SelectLanguage/WorkerThread.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  EndProcessIfWorkersRun(result);
  return result;
}
