#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "text/BoundedWriter.h"
#include "text/PaddedText.h"

namespace {

using extraction::Appender;
using extraction::BoundedWriter;

// A bound worked out too small stops a build with assertions at the put
// that overruns it, whatever kind of put that is.
TEST(BoundedWriterDeathTest, APutPastTheBoundStopsThere) {
#ifdef NDEBUG
  GTEST_SKIP() << "assertions are off in this build";
#else
  extraction::PaddedText padded;
  padded.Assign("abcde");
  const std::pair<const char*, std::function<void(BoundedWriter&)> > puts[] = {
      {"text", [](BoundedWriter& out) { out.Put(std::string_view("abcde")); }},
      {"padded text",
       [&](BoundedWriter& out) { out.PutPadded(padded.View()); }},
      {"byte",
       [](BoundedWriter& out) {
         out.Put("abcd");
         out.Put('e');
       }},
      {"two digits",
       [](BoundedWriter& out) {
         out.Put("abc");
         out.PutInt(42);
       }},
      {"long number", [](BoundedWriter& out) { out.PutInt(12345); }},
  };
  for (const auto& [name, put] : puts) {
    SCOPED_TRACE(name);
    EXPECT_DEATH(
        {
          std::string text;
          Appender appender(text);
          BoundedWriter out(appender, 4);
          put(out);
        },
        "Room|limit_");
  }
  // The bound itself is room enough.
  std::string text;
  {
    Appender appender(text);
    BoundedWriter(appender, 5).Put("abcde");
  }
  EXPECT_EQ(text, "abcde");
#endif
}

}  // namespace
