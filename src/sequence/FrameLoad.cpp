// Decoding a frame into its bitmap: decode, then crop, then resample, so that the cache holds
// exactly what is shown.
#include <exception>

#include "imageops/CropResample.h"
#include "imageops/RvCrop.h"
#include "imageops/RvResample.h"
#include "imaging/FrameDecoder.h"
#include "imaging/TextException.h"
#include "sequence/Frame.h"

std::unique_ptr<CDIBSectionBitmap> CRvFrame::Decode(const std::string& path, CFrameDecoder* decoder,
                                                    const CRvCrop* crop,
                                                    const CRvResample* resample, int* width,
                                                    int* height, std::string* error) {
  try {
    auto bitmap = std::make_unique<CDIBSectionBitmap>();
    decoder->DecodeFile(path, bitmap.get());
    *width = bitmap->GetWidth();
    *height = bitmap->GetHeight();

    if (crop) {
      int left = 0;
      int top = 0;
      int cropWidth = 0;
      int cropHeight = 0;
      crop->GetCropRect(bitmap->GetWidth(), bitmap->GetHeight(), &left, &top, &cropWidth,
                        &cropHeight);
      bitmap = RvCropBitmap(*bitmap, left, top, cropWidth, cropHeight);
    }
    if (resample) {
      int newWidth = 0;
      int newHeight = 0;
      resample->GetNewSize(bitmap->GetWidth(), bitmap->GetHeight(), &newWidth, &newHeight);
      bitmap = RvResampleBitmap(*bitmap, newWidth, newHeight);
    }
    return bitmap;
  } catch (const std::exception& e) {
    // Decoder errors and allocation failures alike: the frame is not loadable this time.
    if (error) *error = e.what();
    return nullptr;
  }
}

bool CRvFrame::Load(CFrameDecoder* decoder, const CRvCrop* crop, const CRvResample* resample,
                    int* width, int* height, std::string* error) {
  m_bitmap = Decode(m_path, decoder, crop, resample, width, height, error);
  return m_bitmap != nullptr;
}
