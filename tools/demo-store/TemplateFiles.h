#pragma once
// The template files the store serves: small real Office Open XML documents
// (a presentation, a text document, a workbook) that carry the template's
// title, built in memory.

#include <string>

#include "demo-store/StorePages.h"

namespace demostore {

std::string TemplateFileBytes(const StoreTemplate& item);
std::string TemplateContentType(const StoreTemplate& item);

}  // namespace demostore
