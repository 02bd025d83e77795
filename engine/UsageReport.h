// The usage report sent when an installation pass starts.
#pragma once

#include <cstdint>
#include <string>

// Event code of an edition's report: 160000 + 1000 × edition index.
constexpr std::uint32_t ReportEventCode(std::uint32_t editionIndex) { return 160000 + 1000 * editionIndex; }

// "code=N&ts=T&sign=S" for the event code and time stamp (S over the
// lower-cased "code=N", "&ts=" T and the signing key).
std::string ReportBody(std::uint32_t eventCode, const std::string& timeStamp);

// Job body: posts the report to "/Speed/Server/Report?" at the service, and
// after a failure (status outside 200..300 or an empty answer) and the retry
// pause once more to the fallback's "/Speed/Server/Report". The answer is not
// used and no event is posted.
void RunReport(std::uint32_t eventCode);

// Thread function for the thread manager.
void ThreadReport(std::uintptr_t eventCode);
