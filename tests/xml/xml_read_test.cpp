// Navigation, data and attributes.
#include "xml/xml_markup.h"
#include "xml_test_util.h"

namespace {

const char16_t* kConfig =
    u"<config><product name='Zed'/><links><link os=win7 href=\"a&amp;b\">one</link>"
    u"<link os=\"xp\" beta>two</link></links></config>";

TEST(XmlNavigate, FindEnterLeave) {
  CXmlDocument d(kConfig);
  EXPECT_FALSE(d.FindElement(u"links"));  // not at the top level
  ASSERT_TRUE(d.FindElement(u"config"));
  EXPECT_FALSE(d.FindElement(u"config"));  // main is the last of its level and stays
  EXPECT_EQ(d.GetMainPosition(), 1u);
  ASSERT_TRUE(d.FindChildElement(u"links"));
  ASSERT_TRUE(d.EnterElement());  // parent config, main links
  EXPECT_EQ(d.GetParentPosition(), 1u);
  ASSERT_TRUE(d.FindChildElement(u"link"));
  ASSERT_TRUE(d.EnterElement());
  EXPECT_EQ(N(d.GetData()), "one");
  EXPECT_EQ(N(d.GetAttribute(u"href")), "a&b");
  ASSERT_TRUE(d.FindElement(u"link"));
  EXPECT_EQ(N(d.GetData()), "two");
  EXPECT_EQ(N(d.GetAttribute(u"beta")), "beta");
  ASSERT_TRUE(d.EnterElement());  // no child selected: main becomes 0
  EXPECT_EQ(d.GetMainPosition(), 0u);
  EXPECT_FALSE(d.FindChildElement());  // nothing at this level
  ASSERT_TRUE(d.LeaveElement());
  EXPECT_EQ(N(d.GetData()), "two");
  ASSERT_TRUE(d.LeaveElement());
  ASSERT_TRUE(d.LeaveElement());
  EXPECT_EQ(d.GetMainPosition(), 1u);
  EXPECT_FALSE(d.LeaveElement());  // parent 0
}

TEST(XmlNavigate, PathsAndInvalidNames) {
  CXmlDocument d(u"<r><a/><item/><b/><item/></r>");
  ASSERT_TRUE(d.FindElement());
  ASSERT_TRUE(d.EnterElement());
  EXPECT_FALSE(d.FindElement(u"/item"));
  EXPECT_FALSE(d.FindElement(u"//item"));
  EXPECT_FALSE(d.FindElement(u"it em"));
  EXPECT_FALSE(d.FindElement(u"item["));
  EXPECT_FALSE(d.FindElement(u"item/"));
  EXPECT_FALSE(d.FindElement(u"Item"));
  EXPECT_EQ(d.GetMainPosition(), 0u);
  ASSERT_TRUE(d.FindElement(u"item[2]"));  // the next item, whatever its position
  EXPECT_EQ(d.GetMainPosition(), 3u);
  ASSERT_TRUE(d.FindElement(u"item[@k='v']/x/@y"));
  EXPECT_EQ(d.GetMainPosition(), 5u);
  EXPECT_FALSE(d.FindElement());
  CXmlDocument none(u"text only");
  EXPECT_FALSE(none.FindElement());
  EXPECT_FALSE(none.FindChildElement());
}

TEST(XmlRead, DataWithTextCommentsCDataAndReferences) {
  struct Case { const char16_t* doc; const char16_t* data; } cases[] = {
      {u"<a>one<!-- c -->two</a>", u"onetwo"},
      {u"<a><![CDATA[<x&amp;>]]> <![CDATA[y]]></a>", u"<x&amp;>y"},
      {u"<a>&#65;&#x42;&eacute;</a>", u"AB\u00e9"},
      {u"<a>&eacute;&Eacute;&EACUTE;&AMP;&apos;</a>", u"\u00e9\u00c9\u00c9&'"},
      {u"<a>&bogus; &#0; &#x; &amp</a>", u"&bogus; &#0; &#x; &amp"},
      {u"<a>&#x1F600;</a>", u"\U0001F600"},
      // Beyond Unicode, negative and lone surrogates are no reference.
      {u"<a>&#x110000;&#-5;&#xD800;&#57343;</a>", u"&#x110000;&#-5;&#xD800;&#57343;"},
      {u"<a>x<?p?>&lt;y<b/></a>", u""},  // an element with children has no data
      {u"<a/>", u""},
  };
  for (const auto& k : cases) {
    CXmlDocument d(k.doc);
    ASSERT_TRUE(d.FindElement());
    EXPECT_EQ(d.GetData(), std::u16string(k.data)) << N(k.doc);
  }
  CXmlDocument d(kConfig);
  EXPECT_TRUE(d.GetData().empty());
  EXPECT_TRUE(d.GetAttribute(u"name").empty());
}

TEST(XmlRead, AttributeForms) {
  CXmlDocument d(u"<a q=\"d&lt;\" s='x>y' u=bare v w = 'sp' />");
  ASSERT_TRUE(d.FindElement());
  EXPECT_EQ(N(d.GetAttribute(u"q")), "d<");
  EXPECT_EQ(N(d.GetAttribute(u"s")), "x>y");
  EXPECT_EQ(N(d.GetAttribute(u"u")), "bare");
  EXPECT_EQ(N(d.GetAttribute(u"v")), "v");  // valueless: its own name
  EXPECT_EQ(N(d.GetAttribute(u"w")), "sp");
  EXPECT_TRUE(d.GetAttribute(u"missing").empty());
  EXPECT_TRUE(d.GetAttribute(u"").empty());
  // A stray quote never yields text from beyond the tag.
  CXmlDocument s(u"<a \"x><b k='v\"'/></a>");
  ASSERT_TRUE(s.FindElement());
  EXPECT_TRUE(s.GetAttribute(u"k").empty());
}

TEST(XmlRead, UnescapeStopsAtGivenLength) {
  EXPECT_EQ(N(xml::UnescapeText(u"&amp;", 4)), "&amp");
  EXPECT_EQ(N(xml::UnescapeText(u"&lt;b", -1)), "<b");
  EXPECT_EQ(N(xml::UnescapeText(u"&abcdefghij;", -1)), "&abcdefghij;");
}

}  // namespace
