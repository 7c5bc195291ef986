#include "volume/boot.h"

#include <cstring>

#include "bytes.h"

BootKind ClassifyBootSector(const uint8_t sector[512]) {
  if (std::memcmp(sector + 0x36, "FAT1", 4) == 0) return BootKind::Fat16;
  if (std::memcmp(sector + 0x52, "FAT3", 4) == 0) return BootKind::Fat32;
  if (std::memcmp(sector + 3, "NTFS", 4) == 0) return BootKind::Ntfs;
  return BootKind::Unknown;
}

uint64_t BootSectorTotalSectors(const uint8_t sector[512]) {
  switch (ClassifyBootSector(sector)) {
    case BootKind::Fat16:
    case BootKind::Fat32: {
      const uint16_t small = ReadLe16(sector + 0x13);
      return small ? small : ReadLe32(sector + 0x20);
    }
    case BootKind::Ntfs:
      return ReadLe64(sector + 0x28);
    case BootKind::Unknown:
      break;
  }
  return 0;
}
