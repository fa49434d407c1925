#include "export/page_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "platform/exceptions.h"
#include "support/test_util.h"

using namespace exporter;
using testing_util::ReadBytes;
using testing_util::TempDir;

namespace {

// Numbered lines filling several buffers, so that the background writer takes turns with the
// caller; appended piece by piece as a page writer does.
std::string FillPage(TPageFile& page, int lines) {
  std::string expected;
  for (int i = 0; i < lines; ++i) {
    const std::string line = "<td>" + std::to_string(i) + "</td>";
    page.Line(line);
    expected += line + "\r\n";
    page.Drain();
  }
  return expected;
}

constexpr int kLinesOverFourBuffers = 400000;  // about 6 MB

}  // namespace

TEST(PageFile, PagesOfManyBuffersArriveWholeAndInOrder) {
  TempDir dir;
  const std::string path = dir.File("p.htm");
  TPageFile page(path);
  const std::string expected = FillPage(page, kLinesOverFourBuffers);
  ASSERT_GT(expected.size(), 4 * TPageFile::kBufferSize);
  page.Close();
  const std::vector<uint8_t> written = ReadBytes(path);
  EXPECT_TRUE(std::string(written.begin(), written.end()) == expected);
}

TEST(PageFile, AFailedBackgroundWriteIsReportedAndNothingHangs) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  // Every write fails there. The failure of a buffer written in the background surfaces from
  // a later Drain or from Close, as the file's error.
  TPageFile page("/dev/full");
  try {
    FillPage(page, kLinesOverFourBuffers);
    page.Close();
    FAIL() << "the full disk went unnoticed";
  } catch (const platform::Exception& e) {
    EXPECT_NE(std::string(e.what()).find("Error while writing \"/dev/full\""), std::string::npos)
        << e.what();
  }
}

TEST(PageFile, DroppedWithoutClosingStopsTheWriterAfterWhatItWasGiven) {
  // As when the record source throws halfway: the destructor returns, and the file holds the
  // buffers handed over, in order, and nothing of the one being filled.
  TempDir dir;
  const std::string path = dir.File("p.htm");
  std::string expected;
  {
    TPageFile page(path);
    expected = FillPage(page, kLinesOverFourBuffers / 2);
  }
  const std::vector<uint8_t> written = ReadBytes(path);
  EXPECT_GE(written.size(), TPageFile::kBufferSize);
  EXPECT_LT(written.size(), expected.size());
  EXPECT_TRUE(expected.compare(0, written.size(), std::string(written.begin(), written.end())) == 0);
}

TEST(PageFile, EscapingFindsSpecialsAtEveryOffset) {
  // The search reads eight bytes at a time: each special at each offset of a short text.
  TempDir dir;
  for (const char special : {'&', '<', '>', '"'}) {
    for (size_t at = 0; at < 20; ++at) {
      std::string text(20, 'a');
      text[at] = special;
      // Neighbours of the specials in the byte order must stay as they are.
      text[(at + 7) % 20] = static_cast<char>(special + 1);
      text[(at + 13) % 20] = static_cast<char>(special - 1);
      std::string expected;
      for (const char c : text)
        expected += c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == '>' ? "&gt;"
                    : c == '"' ? "&quot;" : std::string(1, c);
      TPageFile page(dir.File("p.htm"));
      page.Append("x");
      page.Append(text);
      page.EscapeTail(1);
      EXPECT_EQ(std::string(page.Buffer().View(1)), expected) << text;
    }
  }
}
