#include "state.h"

#include <algorithm>

char gScanTarget[512];
HWND gScanWindow;

std::atomic<uint32_t> gScanAbort{0};
std::atomic<uint32_t> gRecoverAbort{0};
std::atomic<uint32_t> gUnformatAbort{0};
std::atomic<uint32_t> gDeepScanAbort{0};
std::atomic<uint32_t> gDelScanDone{0};

uint8_t gDelScanFsKind;
uint8_t gDelScanDriveIndex;
uint64_t gMftStartSector;
NtfsEntryStage gNtfsEntry;
uint32_t gFat16Serial;
uint32_t gFat32Serial;

std::atomic<uint32_t> gRecoverTakenFiles{0};
std::atomic<uint32_t> gRecoverDamagedFiles{0};
std::atomic<uint32_t> gRecoverFailedFiles{0};
std::atomic<uint32_t> gRecoveredSectors{0};

void ResetCopyOutCounters() {
  gRecoverTakenFiles = 0;
  gRecoverDamagedFiles = 0;
  gRecoverFailedFiles = 0;
  gRecoveredSectors = 0;
}

uint32_t gOptSkipDeletedBeforeFolder = 0;
uint32_t gOptSkipTempFolders = 1;
uint32_t gOptSkipBadTimes = 1;
uint32_t gOptUseNtfsMft = 0;

HANDLE gDiskHandle = INVALID_HANDLE_VALUE;
char gDiskIdentifyText[1024];
uint32_t gDiskSectorCount;

std::vector<DeletedFileRecord> gDeletedFiles;
std::mutex gDeletedFilesLock;

namespace {
std::vector<ClearHook>& ClearHooks() {
  static std::vector<ClearHook> hooks;
  return hooks;
}
}  // namespace

size_t AppendDeletedFile(const DeletedFileRecord& record) {
  std::lock_guard<std::mutex> lock(gDeletedFilesLock);
  gDeletedFiles.push_back(record);
  return gDeletedFiles.size() - 1;
}

size_t DeletedFileCount() {
  std::lock_guard<std::mutex> lock(gDeletedFilesLock);
  return gDeletedFiles.size();
}

void ClearDeletedFiles() {
  {
    std::lock_guard<std::mutex> lock(gDeletedFilesLock);
    gDeletedFiles.clear();
  }
  for (ClearHook hook : ClearHooks()) hook();
}

void RegisterDeletedFilesClearHook(ClearHook hook) {
  auto& hooks = ClearHooks();
  if (std::find(hooks.begin(), hooks.end(), hook) == hooks.end()) hooks.push_back(hook);
}
