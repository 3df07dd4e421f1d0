#pragma once

// NesCommon55 is built with hidden visibility; only what carries this mark is exported.
#define NES_EXPORT __attribute__((visibility("default")))
