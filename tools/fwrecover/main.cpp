// fwrecover: finishes captures of Framewright HD and Framewright that were
// cut short (a crash, a kill, a power cut), as the programs do at their
// start: every capture with a recovery record, or those written to the
// files named. One line per capture; exit status 1 when any could not be
// recovered, 2 for a bad command line.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/recovery/capture_recovery.h"
#include "core/recovery/recovery_record.h"

using namespace fw;

namespace {

constexpr const char* kUsage =
    "usage: fwrecover [--dry-run] [FILE...]\n"
    "Finishes captures that were cut short by a crash, a kill or a power cut:\n"
    "every capture that left a recovery record, or those written to FILE.\n"
    "  --dry-run  only say what would be done\n";

// The same file however it is named: relative, through links, or gone.
std::string SamePath(const std::string& path) {
  std::error_code ec;
  const std::filesystem::path canonical =
      std::filesystem::weakly_canonical(std::filesystem::absolute(path, ec), ec);
  return ec ? path : canonical.string();
}

std::vector<std::string> AllRecordFiles() {
  std::vector<std::string> records;
  for (ProgramFlavor flavor : {ProgramFlavor::kHD, ProgramFlavor::kClassic}) {
    std::string folder;
    if (GetRecoveryFolder(flavor, FolderCreation::kUseAsIs, &folder) != noErr) continue;
    for (std::string& path : ListRecoveryRecordFiles(folder)) records.push_back(std::move(path));
  }
  return records;
}

}  // namespace

int main(int argc, char** argv) {
  RecoveryAction action = RecoveryAction::kRecover;
  std::vector<std::string> files;
  bool options = true;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (options && arg == "--dry-run") {
      action = RecoveryAction::kDryRun;
    } else if (options && (arg == "--help" || arg == "-h")) {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (options && arg == "--") {
      options = false;
    } else if (options && !arg.empty() && arg[0] == '-') {
      std::fprintf(stderr, "fwrecover: unknown option %s\n%s", arg.c_str(), kUsage);
      return 2;
    } else {
      files.push_back(arg);
    }
  }

  std::vector<std::string> records = AllRecordFiles();
  bool failed = false;
  if (!files.empty()) {
    // Only the records of the files named; a damaged record names no file
    // and is left for a run over all of them.
    std::vector<std::string> chosen;
    for (const std::string& file : files) {
      const std::string wanted = SamePath(file);
      bool found = false;
      for (const std::string& recordPath : records) {
        CaptureRecoveryRecord record;
        if (ReadRecoveryRecordFile(recordPath, &record, nullptr) == noErr &&
            SamePath(record.capturePath) == wanted) {
          chosen.push_back(recordPath);
          found = true;
        }
      }
      if (!found) {
        std::printf("%s: no capture cut short was written to this file; nothing to recover.\n", file.c_str());
        failed = true;
      }
    }
    records = chosen;
  }
  for (const std::string& recordPath : records) {
    const RecoveryReport report = RecoverCaptureFromRecord(recordPath, action);
    std::printf("%s\n", report.Sentence().c_str());
    failed = failed || report.IsFailure();
  }
  if (records.empty() && files.empty()) std::printf("No capture was cut short; nothing to recover.\n");
  return failed ? 1 : 0;
}
