// Resample specifier: a new width and/or height, in pixels or percent of the image size
// ("720 576", "50%", "h288"). Width and height are independent; the aspect is not kept.
#pragma once

#include <string>

#include "imageops/RvCrop.h"

class CRvResample {
 public:
  // Takes a resample specifier off the front of *text, as CRvCrop::Parse does. A failed parse
  // leaves neither value given.
  bool Parse(std::string* text, std::string* errorText, int* count);
  std::string Format() const;
  // The new size for a width x height image; a value not given keeps that side.
  void GetNewSize(int width, int height, int* newWidth, int* newHeight) const;

  const CRvSpecValue& Width() const { return m_width; }
  const CRvSpecValue& Height() const { return m_height; }
  void SetWidth(int value, bool percent);
  void SetHeight(int value, bool percent);
  void Clear();
  bool IsEmpty() const { return !m_width.IsGiven() && !m_height.IsGiven(); }

  bool operator==(const CRvResample&) const = default;

 private:
  CRvSpecValue m_width;
  CRvSpecValue m_height;
};
