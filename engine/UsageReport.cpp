// The usage report job.
#include "engine/UsageReport.h"

#include "engine/ServiceClient.h"

std::string ReportBody(std::uint32_t eventCode, const std::string& timeStamp) {
    return SignedBody("code=" + std::to_string(eventCode) + "&ts=" + timeStamp);
}

void RunReport(std::uint32_t eventCode) {
    const std::string body = ReportBody(eventCode, MakeTimeStamp());
    std::string response;
    PostServiceRequest("/Speed/Server/Report?", "/Speed/Server/Report", body, ResponseSite::ReportRetry, response);
}

void ThreadReport(std::uintptr_t eventCode) { RunReport(static_cast<std::uint32_t>(eventCode)); }
