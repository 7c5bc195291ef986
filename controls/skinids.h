// The program's resources that the skinned controls load by themselves
// (ids in resources/ids/images.h and resources/ids/controls.h).
#pragma once
#include "resource.h"

// Row images of IDB_TREE_ROW_IMAGES, in order.
enum TreeRowImage {
  kRowFolder, kRowFolderOpen, kRowFile, kRowPicture, kRowDocument,
  kRowMusic, kRowVideo, kRowWeb, kRowDrive, kRowDisk
};
