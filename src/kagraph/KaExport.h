#pragma once

// KaGraphSub10 is built with hidden visibility; only what carries this mark is exported.
#define KA_EXPORT __attribute__((visibility("default")))
