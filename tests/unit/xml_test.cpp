// Tests for simple XML documents: lenient reading, paths, writing, outlines and tag commands.
#include <gtest/gtest.h>

#include <string>

#include "formats/xml.h"
#include "text/encoding.h"

using morivel::GeneralError;
using morivel::formats::CutOutTags;
using morivel::formats::EMXmlParser;
using morivel::formats::RemoveTags;
using morivel::formats::TMXmlDocument;
using morivel::formats::TMXmlNode;
using morivel::formats::WriteXmlNode;
using morivel::formats::XmlKind;
using morivel::text::sjis;

namespace {

const std::string kDecl = "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n";

std::string ErrorOf(std::string_view text) {
  try {
    TMXmlDocument::ReadXml(text);
  } catch (const EMXmlParser& error) {
    return error.what();
  }
  return "(no error)";
}

std::string TextsAt(const TMXmlDocument& doc, std::string_view path) {
  std::string out;
  for (const TMXmlNode* node : doc.FindAll(path)) {
    for (const auto& child : node->Children)
      if (child->Kind == XmlKind::Text) out += child->Value + "|";
  }
  return out;
}

}  // namespace

TEST(XmlRead, WithoutDeclarationReadsHtmlWithLowerCaseNamesAndVoidElements) {
  const auto doc = TMXmlDocument::ReadXml("<P>one<BR>two<IMG SRC=\"x.png\">three</P>");
  EXPECT_TRUE(doc.HtmlMode);
  const TMXmlNode& p = *doc.Root().Children.at(0);
  EXPECT_EQ(p.Name, "p");
  ASSERT_EQ(p.Children.size(), 5u);
  EXPECT_EQ(p.Children[1]->Name, "br");
  EXPECT_TRUE(p.Children[1]->Children.empty());
  EXPECT_EQ(p.Children[2]->Value, "two");
  EXPECT_EQ(p.Children[3]->FindAttribute("src")->Value, "x.png");
  EXPECT_EQ(p.Children[4]->Value, "three");
  EXPECT_EQ(doc.Write().find("<?xml"), std::string::npos);
}

TEST(XmlRead, DeclarationSetsVersionAndRefusesOtherEncodings) {
  const auto doc = TMXmlDocument::ReadXml("<?xml version=\"1.1\"?><Root>x</Root>");
  EXPECT_FALSE(doc.HtmlMode);
  EXPECT_EQ(doc.Version, "1.1");
  EXPECT_EQ(doc.Root().Children.at(0)->Name, "Root");  // case kept outside HTML mode
  EXPECT_EQ(ErrorOf("<?xml version=\"1.0\" encoding=\"UTF-8\"?><a/>"),
            sjis("Shift_JIS以外の文字は処理できません。"));
  EXPECT_EQ(ErrorOf("<?xml version=\"1.0\" encoding=\"shift_jis\"?><a/>"),
            sjis("Shift_JIS以外の文字は処理できません。"));
}

TEST(XmlRead, AttributeErrorsCarryTheirMessages) {
  EXPECT_EQ(ErrorOf("<input checked>"),
            sjis("アトリビュートの読み込みで,不正な文字列\"checked\"があります。"));
  EXPECT_EQ(ErrorOf("<a href=\"x>text"),
            sjis("アトリビュート \"href\"の値が\"で終わっていません。"));
  EXPECT_EQ(ErrorOf(kDecl + "<a></a></XMLDocument>"),
            sjis("タグが対応していません。</XMLDocument>"));
}

TEST(XmlRead, AttributesQuotedUnquotedAndSelfClosing) {
  const auto doc = TMXmlDocument::ReadXml(kDecl + "<a x=\"1 2\" y=3/><b z = \"v\" /><c>t</c>");
  const TMXmlNode& root = doc.Root();
  ASSERT_EQ(root.Children.size(), 3u);
  EXPECT_EQ(root.Children[0]->Name, "a");
  EXPECT_EQ(root.Children[0]->FindAttribute("X")->Value, "1 2");
  EXPECT_EQ(root.Children[0]->FindAttribute("y")->Value, "3");
  EXPECT_EQ(root.Children[1]->Name, "b");
  EXPECT_EQ(root.Children[1]->FindAttribute("z")->Value, "v");
  EXPECT_TRUE(root.Children[1]->Children.empty());
  EXPECT_EQ(root.Children[2]->Children.at(0)->Value, "t");
}

TEST(XmlRead, CommentsAndDeclarationsAreDroppedAndStrayClosingTagsIgnored) {
  const auto doc = TMXmlDocument::ReadXml(kDecl + "<!-- note --><!DOCTYPE x><a>1</b>2</a><c/>");
  ASSERT_EQ(doc.Root().Children.size(), 2u);
  EXPECT_EQ(TextsAt(doc, "a"), "1|2|");
  EXPECT_EQ(doc.Root().Children[1]->Name, "c");
}

TEST(XmlRead, UnclosedElementsCloseAtTheEnd) {
  const auto doc = TMXmlDocument::ReadXml(kDecl + "<a><b>x");
  EXPECT_EQ(TextsAt(doc, "a\\b"), "x|");
}

TEST(XmlRead, EntitiesAndDoubleByteTextStayAsTheyAre) {
  const std::string text = sjis("<a>&amp;&#x41;表示</a>");
  const auto doc = TMXmlDocument::ReadXml(kDecl + text);
  EXPECT_EQ(TextsAt(doc, "a"), sjis("&amp;&#x41;表示|"));
}

TEST(XmlPaths, AllMatchVersusFirstMatchAndCaseInsensitivity) {
  const auto doc = TMXmlDocument::ReadXml(kDecl + "<a><b>x</b><B>y</B><c><b>z</b></c></a>");
  EXPECT_EQ(TextsAt(doc, "a\\b"), "x|y|");
  EXPECT_EQ(TextsAt(doc, "A\\C\\B"), "z|");
  EXPECT_EQ(doc.FindFirst("a\\b")->Children.at(0)->Value, "x");
  EXPECT_EQ(doc.FindFirst("a\\d"), nullptr);
  EXPECT_TRUE(doc.FindAll("a\\d\\e").empty());
  EXPECT_EQ(doc.FindFirst(""), &doc.Root());
}

TEST(XmlPaths, BackslashTrailByteDoesNotSplitASegment) {
  // 表 is 0x95 0x5C in Shift-JIS: its trail byte is the path separator's byte.
  const std::string name = sjis("表");
  const auto doc = TMXmlDocument::ReadXml(kDecl + "<" + name + "><x>1</x></" + name + ">");
  EXPECT_EQ(TextsAt(doc, name + "\\x"), "1|");
}

TEST(XmlPaths, CreatePathReusesAndAppends) {
  auto doc = TMXmlDocument::ReadXml(kDecl + "<a><b/></a>");
  TMXmlNode& c = doc.CreatePath("a\\b\\c");
  EXPECT_EQ(c.Parent, doc.FindFirst("a\\b"));
  EXPECT_EQ(&doc.CreatePath("A\\B\\C"), &c);
  EXPECT_EQ(doc.Root().Children.size(), 1u);
}

TEST(XmlPaths, PathListNamesLeavesAndTextEndsInBackslash) {
  EXPECT_EQ(TMXmlDocument::ReadXml(kDecl + "<a><b/></a>").PathList(), "a\\b\r\n");
  EXPECT_EQ(TMXmlDocument::ReadXml(kDecl + "<a><b>t</b><c/></a><d/>").PathList(),
            "a\\b\\\r\na\\c\r\nd\r\n");
}

TEST(XmlWrite, SingleTextOnOneLineAndChildrenIndented) {
  auto doc = TMXmlDocument::ReadXml(kDecl + "<a k=\"v\"><b>x</b><c><d/><e>y</e></c></a>");
  EXPECT_EQ(doc.Write(), kDecl +
                             "<a k=\"v\">\r\n"
                             "\t<b>x</b>\r\n"
                             "\t<c>\r\n"
                             "\t\t<d/>\r\n"
                             "\t\t<e>y</e>\r\n"
                             "\t</c>\r\n"
                             "</a>\r\n"
                             "\r\n");
  EXPECT_EQ(WriteXmlNode(*doc.FindFirst("a\\b")), "<b>x</b>");
  EXPECT_EQ(WriteXmlNode(*doc.FindFirst("a\\c\\d")), "<d/>\r\n");
}

TEST(XmlWrite, LineBreaksInsideTextAreIndentedLineByLine) {
  auto doc = TMXmlDocument::ReadXml(kDecl + "<a><b/></a>");
  doc.CreatePath("a\\c").AddChild(XmlKind::Text, "", "one\r\ntwo");
  doc.CreatePath("a").AddChild(XmlKind::Text, "", "p\nq");
  EXPECT_EQ(WriteXmlNode(*doc.FindFirst("a")),
            "<a>\r\n\t<b/>\r\n\t<c>one\r\n\ttwo</c>\r\n\tp\r\n\tq\r\n</a>\r\n");
}

TEST(XmlWrite, RoundTripKeepsTheTree) {
  const std::string source = kDecl + sjis(
                                         "<データ 版=\"2\"><項目 id=\"1\">値&lt;</項目>"
                                         "<項目 id=\"2\"/><空/></データ>");
  const auto first = TMXmlDocument::ReadXml(source);
  const std::string written = first.Write();
  const auto second = TMXmlDocument::ReadXml(written);
  EXPECT_EQ(second.Write(), written);
  EXPECT_EQ(second.PathList(), first.PathList());
  EXPECT_EQ(TextsAt(second, sjis("データ\\項目")), sjis("値&lt;|"));
}

TEST(XmlHostile, DeepNestingNeitherOverflowsNorGrowsWithoutBound) {
  std::string deep = kDecl;
  for (int i = 0; i < 200000; ++i) deep += "<a>";
  deep += "x";
  const auto doc = TMXmlDocument::ReadXml(deep);
  EXPECT_EQ(doc.PathList().size(), 200000u * 2 + 2);
  EXPECT_THROW(doc.Write(), GeneralError);  // its indentation alone would pass 64 MiB
}

TEST(XmlHostile, HugeAttributeValueIsKept) {
  const std::string value(1 << 20, 'v');
  const auto doc = TMXmlDocument::ReadXml(kDecl + "<a x=\"" + value + "\"/>");
  EXPECT_EQ(doc.FindFirst("a")->FindAttribute("x")->Value.size(), value.size());
}

TEST(XmlOutline, DepthByIndentNamesAndValues) {
  const auto doc = TMXmlDocument::ReadOutline(
      "# comment\r\n+top, 1\r\n\tchild,2\r\n\t\tgrand\r\n\tsecond\r\n-other\r\n\r\n");
  EXPECT_EQ(doc.Root().Name, "XmlDocument");
  EXPECT_EQ(doc.PathList(), "top\\child\\grand\r\ntop\\second\r\nother\r\n");
  EXPECT_EQ(doc.FindFirst("top")->Value, "1");
  EXPECT_EQ(doc.FindFirst("top\\child")->Value, "2");
}

TEST(TagCommands, RemoveTagsKeepsTextAndDoubleByteCharacters) {
  EXPECT_EQ(RemoveTags("  <b>bold</b> & <i>x</i>  "), "bold & x");
  EXPECT_EQ(RemoveTags(sjis("<p>表示</p>a > b")), sjis("表示a > b"));
  EXPECT_EQ(RemoveTags("a<unclosed b c"), "a");
}

TEST(TagCommands, CutOutTagsCountsNestingAndRespectsQuotes) {
  EXPECT_EQ(CutOutTags("x<div>a<DIV>b</div>c</div>y<div>z</div>", "<div>"),
            "<div>a<DIV>b</div>c</div>\r\n<div>z</div>\r\n");
  EXPECT_EQ(CutOutTags("<a title=\"1>2\">t</a><ab>no</ab>", "A"), "<a title=\"1>2\">t</a>\r\n");
  EXPECT_EQ(CutOutTags("<p>open<p>inner</p>", "p"), "<p>open<p>inner</p>\r\n");
  EXPECT_EQ(CutOutTags("no tags", "p"), "");
}
