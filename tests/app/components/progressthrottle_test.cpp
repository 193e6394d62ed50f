// The throttle between a run's events and the window, on a clock the test
// moves by hand.

#include "app/components/progressthrottle.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace brevane::testing {
namespace {

struct Painted {
  std::vector<std::pair<int, int>> Progress;
  std::vector<QString> Status;
  std::vector<QStringList> Output;
  int Pumps = 0;
  std::int64_t Now = 1000;

  TProgressThrottle::TSinks Sinks() {
    TProgressThrottle::TSinks s;
    s.Progress = [this](int F, int A) { Progress.emplace_back(F, A); };
    s.Status = [this](const TProgressThrottle::TStatus& T) {
      Status.push_back(T.Prefix + T.Name + (T.Margin < 0 ? QString() : QStringLiteral("|%1").arg(T.Margin)));
    };
    s.Output = [this](const QStringList& L) { Output.push_back(L); };
    s.Pump = [this] { ++Pumps; };
    s.Now = [this] { return Now; };
    return s;
  }
};

TEST(ProgressThrottle, ARunPaintsTheLatestStateAtASteadyRateAndItsEndAlways) {
  Painted p;
  TProgressThrottle t(p.Sinks());
  t.Begin();
  // The first event paints at once; a thousand more in the same moment
  // paint nothing.
  for (int i = 0; i < 1000; ++i) {
    t.Progress(i % 100, 10);
    t.Status({QStringLiteral("Extracting: "), QStringLiteral("f%1").arg(i), 55});
    t.Line(QStringLiteral("line %1").arg(i));
  }
  ASSERT_EQ(p.Progress.size(), 1u);
  EXPECT_EQ(p.Progress[0], std::make_pair(0, 10));
  EXPECT_TRUE(p.Status.empty());
  EXPECT_TRUE(p.Output.empty());

  // Not yet due, then due: what is painted is the last state recorded,
  // and the lines in between, in order, none lost.
  p.Now += TProgressThrottle::kPaintMs - 1;
  t.PaintIfDue();
  EXPECT_EQ(p.Progress.size(), 1u);
  p.Now += 1;
  t.PaintIfDue();
  ASSERT_EQ(p.Progress.size(), 2u);
  EXPECT_EQ(p.Progress[1], std::make_pair(99, 10));
  EXPECT_EQ(p.Status, std::vector<QString>{QStringLiteral("Extracting: f999|55")});
  ASSERT_EQ(p.Output.size(), 1u);
  ASSERT_EQ(p.Output[0].size(), 1000);
  EXPECT_EQ(p.Output[0].front(), QStringLiteral("line 0"));
  EXPECT_EQ(p.Output[0].back(), QStringLiteral("line 999"));
  // Nothing changed: nothing to paint.
  p.Now += TProgressThrottle::kPaintMs;
  t.PaintIfDue();
  EXPECT_EQ(p.Progress.size(), 2u);

  // 100 % of the whole is painted at once, due or not.
  t.Progress(100, 100);
  ASSERT_EQ(p.Progress.size(), 3u);
  EXPECT_EQ(p.Progress[2], std::make_pair(100, 100));

  // A status set directly supersedes the pending one; lines of an output
  // window that was cleared go with it. The end paints what is left.
  t.Status(QStringLiteral("old"));
  t.DropStatus();
  t.Line(QStringLiteral("gone"));
  t.DropLines();
  t.Status({QStringLiteral("Compressing: "), QStringLiteral("last.txt"), 68});
  t.Line(QStringLiteral("kept"));
  EXPECT_EQ(p.Status.size(), 1u);
  t.End();
  EXPECT_EQ(p.Status.back(), QStringLiteral("Compressing: last.txt|68"));
  EXPECT_EQ(p.Output.back(), QStringList{QStringLiteral("kept")});
  EXPECT_EQ(p.Status.size(), 2u);

  // Outside a run every call paints at once.
  t.Status(QStringLiteral("a"));
  t.Status(QStringLiteral("b"));
  EXPECT_EQ(p.Status.size(), 4u);
  EXPECT_EQ(p.Status.back(), QStringLiteral("b"));
}

TEST(ProgressThrottle, EventsAreLetThroughEveryTwentyMillisecondsOfARun) {
  Painted p;
  TProgressThrottle t(p.Sinks());
  t.Begin();
  for (int i = 0; i < 100; ++i) t.Pump();
  EXPECT_EQ(p.Pumps, 1);
  p.Now += TProgressThrottle::kPumpMs - 1;
  t.Pump();
  EXPECT_EQ(p.Pumps, 1);
  p.Now += 1;
  t.Pump();
  t.Pump();
  EXPECT_EQ(p.Pumps, 2);
  // A new run lets its first event through at once.
  t.End();
  t.Begin();
  t.Pump();
  EXPECT_EQ(p.Pumps, 3);
  t.End();
  // Outside a run each call pumps.
  t.Pump();
  t.Pump();
  EXPECT_EQ(p.Pumps, 5);
}

}  // namespace
}  // namespace brevane::testing
