// quellan-cli: the installer without a window. `check` asks the service,
// `install` runs the window's whole flow, `verify` checks an installation.
#include "app/Editions.h"
#include "app/GameIcon.h"
#include "engine/DownloadWorker.h"
#include "engine/EngineEvents.h"
#include "engine/FileListJob.h"
#include "engine/HttpClient.h"
#include "engine/Manifest.h"
#include "engine/ServiceClient.h"
#include "engine/ServiceConfig.h"
#include "engine/UsageReport.h"
#include "engine/WindowMultiThreadManager.h"
#include "platform/system/Desktop.h"
#include "platform/system/System.h"
#include "platform/system/Text.h"
#include "tools/cli/CliJobs.h"
#include "tools/cli/CliProgress.h"
#include "util/LogFile.h"

#include <json/json.h>

#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

const char kUsage[] = "Usage: quellan-cli COMMAND [options]\n"
                      "\n"
                      "Commands:\n"
                      "  check                          ask the service for the newest version and the\n"
                      "                                 configuration; print both\n"
                      "  install --edition CODE --path DIR [--passes N] [--no-shortcut] [--stats]\n"
                      "                                 install an edition into DIR: version check,\n"
                      "                                 configuration, file list, usage report, then\n"
                      "                                 download passes (four workers, then one) until\n"
                      "                                 every file is in place or N passes (default 1)\n"
                      "                                 are done; a desktop shortcut and menu entry\n"
                      "                                 (with the launcher's icon) on success;\n"
                      "                                 --stats prints the event load of the passes\n"
                      "                                 and the bytes fetched and resumed (continued\n"
                      "                                 from parts of broken-off transfers)\n"
                      "  verify --edition CODE --path DIR\n"
                      "                                 check DIR against the edition's file list; list\n"
                      "                                 every missing or differing file\n"
                      "\n"
                      "Editions: alder, birch, cedar, dogwood, elm.\n"
                      "Progress goes to stderr, results to stdout.\n"
                      "Exit codes: 0 done; 1 service, configuration or file list failed, a job\n"
                      "could not be started, or bad arguments; 2 files missing or differing; 3 a\n"
                      "newer version must be installed.\n"
                      "Environment: QUELLAN_SERVICE_BASE, QUELLAN_SERVICE_FALLBACK (service\n"
                      "addresses), QUELLAN_CA_FILE (extra CA), QUELLAN_DEBUG (per-file details).\n";

constexpr int kExitOk = 0;
constexpr int kExitService = 1;
constexpr int kExitFiles = 2;
constexpr int kExitUpdate = 3;

// How long the usage report may still run once the outcome is known.
constexpr int kReportGraceMs = 10000;

struct Options {
    std::string command;
    std::string edition;
    std::wstring path;
    int passes = 1;
    bool shortcut = true;
    bool stats = false;
};

// Event load on the main thread (the owner of the events), for --stats.
struct OwnerStats {
    std::uint64_t progressEvents = 0;
};
OwnerStats g_stats;

double threadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double wallSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

void printError(const std::wstring& text) { std::fprintf(stderr, "%s\n", platform::toUtf8(text).c_str()); }

int usageError(const std::string& text) {
    std::fprintf(stderr, "quellan-cli: %s\n\n%s", text.c_str(), kUsage);
    return kExitService;
}

bool parseArgs(int argc, char** argv, Options& options, std::string& error) {
    if (argc < 2) {
        error = "no command";
        return false;
    }
    options.command = argv[1];
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        std::string v;
        if (arg == "--edition") {
            if (!value(options.edition)) return false;
        } else if (arg == "--path") {
            if (!value(v)) return false;
            // Absolute, so that the shortcut works from anywhere.
            std::error_code ec;
            const std::string absolute = v.empty() ? v : std::filesystem::absolute(v, ec).string();
            options.path = platform::fromUtf8(ec ? v : absolute);
        } else if (arg == "--passes") {
            if (!value(v)) return false;
            char* end = nullptr;
            long n = std::strtol(v.c_str(), &end, 10);
            if (*end || n < 1 || n > 1000) {
                error = "--passes needs a number from 1 to 1000";
                return false;
            }
            options.passes = static_cast<int>(n);
        } else if (arg == "--no-shortcut") {
            options.shortcut = false;
        } else if (arg == "--stats") {
            options.stats = true;
        } else {
            error = "unknown option " + arg;
            return false;
        }
    }
    return true;
}

// The version answer's "check_code" read the way atoi reads it.
int CheckCode(const std::string& versionText) {
    Json::Value root;
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    try {
        if (!reader->parse(versionText.data(), versionText.data() + versionText.size(), &root, nullptr) ||
            !root.isObject())
            return 0;
        const Json::Value& code = root["check_code"];
        if (code.isString()) return std::atoi(code.asCString());
        if (code.isIntegral()) return code.asInt();
    } catch (const std::exception&) {}
    return 0;
}

bool ConfigParses(std::string& pretty) {
    Json::Value root;
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    try {
        if (!reader->parse(g_configText.data(), g_configText.data() + g_configText.size(), &root, nullptr) ||
            !root.isObject())
            return false;
        for (const std::string& key : root.getMemberNames()) {
            const Json::Value& v = root[key];
            pretty += "  " + key + " = " + (v.isString() ? v.asString() : Json::FastWriter().write(v)) + "\n";
        }
        if (!pretty.empty() && pretty.back() == '\n' && pretty.size() > 1 && pretty[pretty.size() - 2] == '\n')
            pretty.pop_back();
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

const char kNoThread[] = "quellan-cli: a job thread could not be started";

// Runs one job to its end and returns its first event (strings owned by the
// caller). The job's later events are dropped. False when the job's thread
// could not be started: no event will ever come.
bool runToEvent(CCliEvents& events, CWindowMultiThreadManager& jobs, ThreadFunc fn, CliEvent& event) {
    if (jobs.StartThread(fn, 0) == 0) {
        std::fprintf(stderr, "%s\n", kNoThread);
        return false;
    }
    while (!events.Next(event, 1000)) {}
    return true;
}

// The configuration request. Returns an exit code, or -1 to go on with the
// configuration in place; pretty receives it as readable text.
int fetchConfig(CCliEvents& events, CWindowMultiThreadManager& jobs, std::string& pretty) {
    CliEvent config{};
    if (!runToEvent(events, jobs, &ThreadGetConfig, config)) return kExitService;
    if (config.kind != CliEvent::GetConfigResult) {
        auto text = config.kind == CliEvent::GetConfigFailed ? TakeEventWideText(config.a2) : nullptr;
        printError(text ? *text : L"配置数据获取失败！");
        return kExitService;
    }
    if (!ConfigParses(pretty)) {
        printError(L"数据错误！");
        return kExitService;
    }
    return -1;
}

// Version check and configuration, as the window does them at start. Returns
// an exit code, or -1 to go on.
int startUp(CCliEvents& events, CWindowMultiThreadManager& jobs, bool printAll, bool stopOnNewer) {
    CliEvent version{};
    if (!runToEvent(events, jobs, &ThreadCheckVersion, version)) return kExitService;
    if (version.kind != CliEvent::CheckVersionResult) {
        auto text = version.kind == CliEvent::CheckVersionFailed ? TakeEventWideText(version.a2) : nullptr;
        printError(text ? *text : L"检查更新失败，请下载最新版本！");
        return kExitService;
    }
    auto versionText = TakeEventText(version.a2);
    if (printAll) std::printf("version: %s\n", versionText->c_str());
    if (CheckCode(*versionText) > kServiceClientVersion) {
        printError(L"发现新版本，请更新后使用！");
        if (stopOnNewer) return kExitUpdate;
    }
    std::string pretty;
    if (int code = fetchConfig(events, jobs, pretty); code >= 0) return code;
    if (printAll) std::printf("config:\n%s", pretty.c_str());
    return -1;
}

int commandCheck(CCliEvents& events, CWindowMultiThreadManager& jobs) {
    const int code = startUp(events, jobs, /*printAll=*/true, /*stopOnNewer=*/false);
    return code < 0 ? kExitOk : code;
}

// A verification worker: the download worker in verify-only mode.
struct VerifyRun {
    DownloadPass pass;
    std::uint32_t editionIndex = 0;
    std::mutex lock;
    std::vector<std::pair<std::string, FileProblem>> problems;
};
VerifyRun* g_verify = nullptr;

void ThreadVerifyFiles(std::uintptr_t) {
    RunDownloadWorker(g_verify->pass, CurrentThreadId(), g_verify->editionIndex, EngineEvents());
}

const Edition* editionFor(const Options& options, std::string& error) {
    const Edition* edition = FindEditionByCode(options.edition);
    if (!edition)
        error = options.edition.empty() ? "--edition is required" : "unknown edition " + options.edition;
    else if (options.path.empty())
        error = "--path is required";
    return error.empty() ? edition : nullptr;
}

// One pass: the file list job (and the report with it), then the workers,
// until the last worker has ended. Returns an exit code for a failed list or
// a job that could not be started (once the workers that did start have
// ended), or -1 when the pass ran.
int runPass(CCliEvents& events, CWindowMultiThreadManager& jobs, CCliProgress& progress, const Edition& edition,
            int round, bool verify) {
    if (jobs.StartThread(&ThreadGetFileList, static_cast<std::uintptr_t>(edition.number)) == 0) {
        std::fprintf(stderr, "%s\n", kNoThread);
        return kExitService;
    }
    // The report is a courtesy to the service: without its thread the pass
    // goes on.
    if (!verify) jobs.StartThread(&ThreadReport, ReportEventCode(static_cast<std::uint32_t>(edition.number)));
    bool workerMissing = false;
    CliEvent event{};
    for (;;) {
        if (!events.Next(event, 200)) continue;
        switch (event.kind) {
        case CliEvent::FileListFailed: {
            auto text = TakeEventWideText(event.a2);
            progress.Message(*text);
            return kExitService;
        }
        case CliEvent::ShowStatusText:
            progress.Message(*TakeEventWideText(event.a2));
            break;
        case CliEvent::StartDownload: {
            progress.StartPass();
            const int workers = round == 0 ? 4 : 1;
            // Set once, before any verification worker can read it.
            if (verify) g_verify->pass.installDir = g_installDir;
            for (int i = 0; i < workers; ++i) {
                const std::uint32_t id =
                    verify ? jobs.StartThread(&ThreadVerifyFiles, 0)
                           : jobs.StartThread(&ThreadDownloadFiles, static_cast<std::uintptr_t>(edition.number));
                if (id == 0) {
                    // No worker of that id will ever end: waiting for it
                    // would hang the pass.
                    workerMissing = true;
                    break;
                }
                progress.AddWorker(id);
            }
            platform::debugOutput(L"第" + std::to_wstring(round) + L"次重试\r\n");
            if (workerMissing) {
                progress.Message(platform::fromUtf8(kNoThread));
                if (progress.Empty()) return kExitService;
            }
            break;
        }
        case CliEvent::DownloadProgress: {
            ++g_stats.progressEvents;
            const auto* record = reinterpret_cast<const CProgressRecord*>(event.a2);
            progress.OnProgress(static_cast<std::uint32_t>(event.a1), record->Snapshot(), GetDownloadItemCount());
            break;
        }
        case CliEvent::DownloadThreadEnd:
            if (progress.RemoveWorker(static_cast<std::uint32_t>(event.a1)) && progress.Empty()) {
                progress.Finish();
                return workerMissing ? kExitService : -1;
            }
            break;
        default:
            DropEventPayload(event);
            break;
        }
    }
}

int commandInstall(const Options& options, CCliEvents& events, CWindowMultiThreadManager& jobs) {
    std::string error;
    const Edition* edition = editionFor(options, error);
    if (!edition) return usageError(error);
    const int code = startUp(events, jobs, /*printAll=*/false, /*stopOnNewer=*/true);
    if (code >= 0) return code;

    CCliProgress progress(stderr);
    const double wallStart = wallSeconds();
    const double cpuStart = threadCpuSeconds();
    for (int round = 0; round < options.passes; ++round) {
        SetRequestedInstallFolder(options.path);
        const int passCode = runPass(events, jobs, progress, *edition, round, /*verify=*/false);
        if (passCode >= 0) return passCode;
        if (!g_downloadFailed) break;
    }
    if (options.stats) {
        const double wall = wallSeconds() - wallStart;
        const double cpu = threadCpuSeconds() - cpuStart;
        std::fprintf(stderr,
                     "stats: progress-events %llu, seconds %.3f, events-per-second %.1f, owner-cpu-seconds %.3f, "
                     "owner-cpu-share %.2f%%, fetched-bytes %lld, resumed-bytes %lld, resumed-files %lld\n",
                     static_cast<unsigned long long>(g_stats.progressEvents), wall,
                     wall > 0 ? static_cast<double>(g_stats.progressEvents) / wall : 0.0, cpu,
                     wall > 0 ? cpu * 100.0 / wall : 0.0, static_cast<long long>(g_transferTotals.fetchedBytes.load()),
                     static_cast<long long>(g_transferTotals.resumedBytes.load()),
                     static_cast<long long>(g_transferTotals.resumedFiles.load()));
    }
    jobs.WaitForAll(std::chrono::milliseconds(kReportGraceMs));
    if (g_downloadFailed) {
        const auto space = platform::freeDiskSpace(options.path);
        printError(space && *space > 0x280000000ull
                       ? L"下载结束，有部分文件下载失败，请再次点击开始下载按钮！"
                       : L"下载结束，有部分文件下载失败，请检查磁盘空间后再次点击开始下载按钮！");
        return kExitFiles;
    }
    if (options.shortcut) {
        std::wstring folder = options.path;
        if (!folder.empty() && folder.back() != L'/') folder += L'/';
        const std::wstring icon = InstallGameIcon(folder + std::wstring(edition->launcher));
        if (!platform::createDesktopShortcut(options.path, edition->launcher, icon))
            printError(L"未能创建桌面快捷方式");
    }
    std::printf("%s\n", platform::toUtf8(L"下载结束，安装完成！").c_str());
    return kExitOk;
}

int commandVerify(const Options& options, CCliEvents& events, CWindowMultiThreadManager& jobs) {
    std::string error;
    const Edition* edition = editionFor(options, error);
    if (!edition) return usageError(error);
    std::string pretty;
    if (int code = fetchConfig(events, jobs, pretty); code >= 0) return code;
    VerifyRun run;
    run.editionIndex = static_cast<std::uint32_t>(edition->number);
    run.pass.endWaitMs = 0;
    run.pass.verifyOnly = [&run](const DownloadItem& item, FileProblem problem) {
        std::lock_guard lock(run.lock);
        run.problems.emplace_back(item.file, problem);
    };
    g_verify = &run;
    CCliProgress progress(stderr);
    SetRequestedInstallFolder(options.path);
    const int code = runPass(events, jobs, progress, *edition, /*round=*/0, /*verify=*/true);
    g_verify = nullptr;
    if (code >= 0) return code;
    for (const auto& [file, problem] : run.problems) {
        const char* what = problem == FileProblem::Missing   ? "missing"
                           : problem == FileProblem::Differs ? "differs"
                                                             : "unsafe";
        std::printf("%s: %s\n", what, file.c_str());
    }
    return run.problems.empty() ? kExitOk : kExitFiles;
}

// Jobs have returned, but their threads may still be winding down (freeing
// what libraries keep per thread); exiting under them would cut that short.
void waitForOtherThreads(std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        std::error_code ec;
        auto tasks = std::filesystem::directory_iterator("/proc/self/task", ec);
        if (ec || std::distance(tasks, std::filesystem::directory_iterator()) <= 1) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    std::string error;
    if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "help") == 0)) {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    if (!parseArgs(argc, argv, options, error)) return usageError(error);
    if (options.command != "check" && options.command != "install" && options.command != "verify")
        return usageError("unknown command " + options.command);

    // The same log as the window's program: brenniklog.txt in the temporary
    // folder; none without a temporary folder of our own.
    if (const std::wstring temp = platform::tempFolder(); !temp.empty())
        g_log.SetLogFile(temp + L"brenniklog.txt", 1024);
    // The workers' closing pause serves the window; here it would only add a
    // second to every pass.
    g_downloadEndWaitMs = 0;
    CHttpClient::GlobalInit();
    int code;
    {
        CCliEvents events;
        SetEngineEvents(&events);
        CWindowMultiThreadManager jobs;
        if (options.command == "check")
            code = commandCheck(events, jobs);
        else if (options.command == "install")
            code = commandInstall(options, events, jobs);
        else
            code = commandVerify(options, events, jobs);
        jobs.TerminateAllThreads();
        jobs.WaitForAll(std::chrono::seconds(5));
        waitForOtherThreads(std::chrono::seconds(2));
        SetEngineEvents(nullptr);
    }
    CHttpClient::GlobalCleanup();
    return code;
}
