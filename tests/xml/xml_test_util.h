#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/text.h"
#include "xml/xml_document.h"
#include "xml_index_check.h"

inline std::u16string U(const char* s) { return platform::Utf8ToWide(s); }
inline std::string N(const std::u16string& s) { return platform::WideToUtf8(s); }

// The index of a changed document must be what a fresh parse of its text builds.
inline ::testing::AssertionResult IndexMatchesFreshParse(const CXmlDocument& doc, bool ignoreLevels = false) {
  const std::string difference = IndexDifference(doc, ignoreLevels);
  if (difference.empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << difference << " for " << N(doc.GetDocumentText());
}
