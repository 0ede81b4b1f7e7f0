// The application window against the desktop's foreground: run alone, since every other test
// process showing a window takes the foreground.
#include <gtest/gtest.h>

#include "Forms.h"
#include "GuiTestUtil.h"

using namespace kivo;
using namespace kivo::test;

namespace {

class ForegroundTest : public ::testing::Test {
 protected:
  void TearDown() override { DoneApplication(); }
};

TEST_F(ForegroundTest, ApplicationMinimizesAndRestoresWithItsWindow) {
  TForm* main = nullptr;
  Application()->CreateForm(main);
  main->Show();
  int minimized = 0, restored = 0;
  Application()->OnMinimize = [&](TObject*) { ++minimized; };
  Application()->OnRestore = [&](TObject*) { ++restored; };
  // the minimise command of the main form minimises the application window
  ::SendMessageW(main->Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_TRUE(::IsIconic(Application()->Handle()));
  EXPECT_EQ(minimized, 1);
  Application()->Restore();
  EXPECT_FALSE(::IsIconic(Application()->Handle()));
  EXPECT_EQ(restored, 1);
  Application()->BringToFront();
  EXPECT_TRUE(PumpUntil([&] { return ::GetForegroundWindow() == main->Handle(); }, 3000));
}

}  // namespace
