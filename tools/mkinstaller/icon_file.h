// The publisher's .ico file: its directory read and checked, and the two
// kinds of resource Windows keeps an icon as (one RT_ICON per image, and an
// RT_GROUP_ICON that lists them by resource id). Pure functions over bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "installer_image.h"

struct IconImage {
  // The 12 bytes the .ico directory and the group resource share: width,
  // height (0 means 256), colour count, a reserved byte, planes, bits per
  // pixel and the image's size.
  uint8_t header[12];
  Bytes data;  // a DIB (BITMAPINFOHEADER onwards) or a PNG file
};

// Reads every image of the .ico file `contents` into `images`. Returns the
// problem when the header is not an icon's, it lists no image, or an
// image's offset or size lies outside the file or its data is neither a
// DIB nor a PNG.
std::string ReadIconFile(const Bytes& contents, std::vector<IconImage>& images);

// The RT_GROUP_ICON resource for `images`, which are stored as RT_ICON
// resources with the ids firstId, firstId + 1, ...
Bytes IconGroupResource(const std::vector<IconImage>& images, uint16_t firstId);

// The image sizes a group resource lists ("16x16", "32x32", ...), or the
// problem when `group` is not one.
std::string IconGroupSizes(const Bytes& group, std::vector<std::string>& sizes);
