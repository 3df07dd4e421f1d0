// Conversion of logarithmic film code values to display values.
//
// Cineon scans and DPX files with printing-density transfer store log exposure: each code
// value step is 0.002 printing density, and the negative has a gamma of 0.6. The conversion
// follows the usual Kodak recipe, driven by the five parameters the program hands over:
//
//   cv     code value on the 10-bit scale (8-, 12- and 16-bit data are rescaled to 0..1023)
//   step   = 0.002 / 0.6 * gammaLog / 1.7
//            log10 exposure per code value; the Cineon gamma scales the contrast relative to
//            the customary conversion gamma of 1.7
//   black  = 10^((refBlack - refWhite) * step)
//   lin    = (10^((cv - refWhite) * step) - black) / (1 - black)
//            0 at the reference black, 1 at the reference white
//   soft clip, when softClip > 0: above the knee k = refWhite - softClip the highlights roll
//   off instead of clipping hard:
//            lin = lin(k) + (1 - lin(k)) * (cv - k)^(softClip / 100) / (5 * softClip)^(softClip /
//            100) which reaches 1 at cv = k + 5 * softClip
//   out    = 255 * clamp(lin, 0, 1)^(1 / gammaDisplay), rounded
//
// Degenerate parameters cannot divide by zero: a display gamma that is not a positive number
// counts as 1.0, and when gammaLog is not positive or refWhite <= refBlack the curve becomes a
// hard threshold at the reference white.
#pragma once

#include <cstdint>
#include <vector>

struct LogToLinearParams {
  double gammaLog = 1.0;
  double gammaDisplay = 1.0;
  std::int32_t referenceBlack = 0;
  std::int32_t referenceWhite = 1024;
  std::int32_t softClip = 0;
};

// Display value 0..255 of one code value on the 10-bit scale (fractions allowed).
std::uint8_t LogToDisplay(double codeValue10, const LogToLinearParams& params);

// Table for every code value of a sample depth (1..16 bits): logarithmic data through the
// conversion above, linear data scaled to 0..255.
std::vector<std::uint8_t> BuildSampleTable(int bits, bool logarithmic,
                                           const LogToLinearParams& params);
