// The named-reference table that UnescapeText looks names up in.
#pragma once

namespace xml {
constexpr int kEntityBucketCount = 130;
extern const char16_t* const kEntityBuckets[kEntityBucketCount];
}  // namespace xml
