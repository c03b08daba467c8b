// The resource script of QXErs.exe and the texts the view's logic shows must be the same:
// the Windows program loads its texts from the script, qxers-sim and the tests from the code.
// The script is UTF-8, the resource UTF-16; QXErs.exe, an ANSI program, loads a text with
// LoadStringA, which a Japanese Windows converts to CP932: that must give the engine's bytes.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <regex>

#include "app/ui/banner.h"
#include "app/ui/ui_text.h"
#include "platform/sim/encoding.h"

namespace qx::test {
namespace {

std::string SourceFile(const std::string& rel) {
  std::ifstream in(std::string(QX_SOURCE_DIR) + "/" + rel, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Utf8(const std::string& cp932) { return sim::Cp932ToUtf8Lossy(cp932); }

TEST(Resources, TheStringTableHoldsEveryTextOfTheViewAndNothingElse) {
  std::map<std::string, unsigned> ids;
  std::string header = SourceFile("resources/resource.h");
  std::regex define(R"(#define (IDS_\w+|IDR_MAINFRAME) (\d+))");
  for (std::sregex_iterator it(header.begin(), header.end(), define), end; it != end; ++it)
    ids[(*it)[1]] = static_cast<unsigned>(std::stoul((*it)[2]));

  std::string rc = SourceFile("resources/QXErs.rc");
  ASSERT_NE(rc.find("#pragma code_page(65001)"), std::string::npos);
  std::size_t table = rc.find("STRINGTABLE");
  ASSERT_NE(table, std::string::npos);
  std::string body = rc.substr(table, rc.find("\nEND", table) - table);
  std::regex entry("\\n\\s+(IDS_\\w+)\\s+\"([^\"]*)\"");
  int strings = 0;
  for (std::sregex_iterator it(body.begin(), body.end(), entry), end; it != end; ++it, ++strings) {
    SCOPED_TRACE((*it)[1].str());
    ASSERT_TRUE(ids.count((*it)[1]));
    std::string loaded;
    ASSERT_TRUE(sim::Utf8ToCp932((*it)[2].str(), loaded));
    EXPECT_EQ(loaded, std::string(UiString(ids[(*it)[1]])));
  }
  EXPECT_EQ(strings, 16);
  EXPECT_EQ(static_cast<int>(ids.size()), 17);  // the strings and the document string

  // Every text of the dialogs is in both fonts' templates.
  const DialogTexts& t = TemplateTexts();
  for (const char* text : {t.confirmText, t.confirmNote, t.driversTitle, t.driversText, t.keepDrivers, t.deleteDrivers,
                           t.progressTitle, t.cancelButton}) {
    std::string quoted = "\"" + Utf8(text) + "\"";
    std::size_t first = rc.find(quoted);
    SCOPED_TRACE(quoted);
    ASSERT_NE(first, std::string::npos);
    EXPECT_NE(rc.find(quoted, first + 1), std::string::npos);
  }
}

TEST(Resources, TheBannerDarkensDownwardsInOverlappingBands) {
  BannerLayout b = LayoutBanner(1024, 768, 0);
  ASSERT_EQ(b.bands.size(), 64u);
  EXPECT_EQ(b.bands[0].top, 0);
  EXPECT_EQ(b.bands[1].top, 13);
  EXPECT_EQ(b.bands[1].height, 14);
  EXPECT_EQ(b.bands[0].blue, 255);
  EXPECT_EQ(b.bands[63].blue, 66);
  EXPECT_EQ(b.fontHeight, 24);
  EXPECT_EQ(b.fontWeight, 700);
  EXPECT_EQ(std::string(b.face), "ＭＳ Ｐゴシック");
  EXPECT_EQ(std::string(LayoutBanner(1024, 768, 1).face), "MS UI Gothic");
  EXPECT_EQ(std::make_pair(b.shadowX, b.shadowY), std::make_pair(10, 13));
  EXPECT_EQ(std::make_pair(b.textX, b.textY), std::make_pair(7, 10));
}

}  // namespace
}  // namespace qx::test
