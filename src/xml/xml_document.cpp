#include "xml/xml_document.h"

ElementIndex::~ElementIndex() { Free(); }
void ElementIndex::Grow(uint32_t, uint32_t) {}
void ElementIndex::Reserve(uint32_t, uint32_t) {}
void ElementIndex::Free() {}
CXmlDocument::CXmlDocument() {}
CXmlDocument::CXmlDocument(const char16_t*) {}
CXmlDocument::CXmlDocument(const std::u16string&) {}
CXmlDocument::~CXmlDocument() {}
bool CXmlDocument::SetDocument(const char16_t*) { return false; }
bool CXmlDocument::SetDocument(const std::u16string&) { return false; }
bool CXmlDocument::ParseDocument() { return false; }
bool CXmlDocument::FindElement(const std::u16string&) { return false; }
bool CXmlDocument::FindChildElement(const std::u16string&) { return false; }
bool CXmlDocument::EnterElement() { return false; }
bool CXmlDocument::LeaveElement() { return false; }
std::u16string CXmlDocument::GetData(uint32_t) const { return {}; }
std::u16string CXmlDocument::GetAttribute(uint32_t, const std::u16string&) const { return {}; }
bool CXmlDocument::AddElement(const std::u16string&) { return false; }
bool CXmlDocument::SetAttribute(uint32_t, const std::u16string&, const std::u16string&) { return false; }
void CXmlDocument::AddResult(const char16_t*, const char16_t*, const std::u16string&, const char16_t*, int32_t, int32_t, bool) {}
