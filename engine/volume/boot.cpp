#include "volume/boot.h"

#include <cstring>

BootKind ClassifyBootSector(const uint8_t sector[512]) {
  if (std::memcmp(sector + 0x36, "FAT1", 4) == 0) return BootKind::Fat16;
  if (std::memcmp(sector + 0x52, "FAT3", 4) == 0) return BootKind::Fat32;
  if (std::memcmp(sector + 3, "NTFS", 4) == 0) return BootKind::Ntfs;
  return BootKind::Unknown;
}
