// The genes of the ten preset communities, eight bots each: genes 0-7 choose
// the options of the step pipeline, 8 and 9 the channels A and B (0 hue,
// 1 saturation, 2 lightness), 10-12 the bot's own colour (H, S, L).
// `bot_genes_<bot><community>`: bot 0..7, community a..j for presets 0..9.
// This is the one place the genes are written; the step functions are
// generated from them at compile time.
#pragma once

#include <cstdint>

// clang-format off
inline constexpr uint8_t bot_genes_0a[13] = { 13,   3,   0,  10,   0,   7,   1,   1,   2,   0, 224,   4, 169};
inline constexpr uint8_t bot_genes_1a[13] = { 14,   6,   0,   1,  21,   9,   1,   0,   2,   2, 146, 232, 253};
inline constexpr uint8_t bot_genes_2a[13] = { 31,   1,   7,  10,   1,  10,   4,   2,   1,   0,  93,  98,  41};
inline constexpr uint8_t bot_genes_3a[13] = { 26,   1,   7,  10,   1,  10,   4,   2,   1,   0,  98,  91,  23};
inline constexpr uint8_t bot_genes_4a[13] = { 11,   1,  13,   3,  15,   6,   8,   3,   0,   1,   3, 198, 243};
inline constexpr uint8_t bot_genes_5a[13] = { 12,   0,   9,   1,  20,  10,   1,   0,   1,   1, 219, 193, 250};
inline constexpr uint8_t bot_genes_6a[13] = { 13,   5,   9,  12,  19,  11,   1,   0,   1,   0, 111, 167,  32};
inline constexpr uint8_t bot_genes_7a[13] = { 12,   7,   4,   2,   5,  13,   6,   2,   2,   2, 156, 135, 229};

inline constexpr uint8_t bot_genes_0b[13] = { 12,   0,  14,  10,   3,  10,   3,   0,   0,   0,   8, 127,  72};
inline constexpr uint8_t bot_genes_1b[13] = { 12,   0,  14,  10,   3,  10,   3,   0,   0,   0,  19, 134,  97};
inline constexpr uint8_t bot_genes_2b[13] = { 10,   0,  10,  12,  17,   0,   6,   3,   2,   1, 181,  34, 177};
inline constexpr uint8_t bot_genes_3b[13] = { 11,   0,  10,  11,   4,   6,   0,   0,   0,   0,  40, 216,  26};
inline constexpr uint8_t bot_genes_4b[13] = {  7,   2,   5,  12,  14,   5,   0,   0,   2,   1, 113, 158, 102};
inline constexpr uint8_t bot_genes_5b[13] = { 15,   7,  10,  10,   5,   0,   3,   3,   0,   1,  88,   8, 140};
inline constexpr uint8_t bot_genes_6b[13] = { 11,   0,  15,  10,   3,   0,   7,   0,   2,   1,  99, 253,  70};
inline constexpr uint8_t bot_genes_7b[13] = { 14,   5,  13,  12,  13,   0,   0,   0,   0,   1,   8, 106, 244};

inline constexpr uint8_t bot_genes_0c[13] = { 14,   0,  13,  12,  13,   2,   0,   2,   2,   0,  38, 119, 221};
inline constexpr uint8_t bot_genes_1c[13] = { 15,   0,   7,  11,   0,  13,   0,   0,   2,   2, 221,  27, 213};
inline constexpr uint8_t bot_genes_2c[13] = { 14,   0,   5,  12,   3,   0,   0,   0,   0,   1, 110,  37, 193};
inline constexpr uint8_t bot_genes_3c[13] = { 12,   0,   1,  10,   5,   5,   7,   0,   0,   2, 138, 140,  33};
inline constexpr uint8_t bot_genes_4c[13] = { 11,   0,  10,  11,   4,   6,   0,   0,   0,   0,  30, 244,  15};
inline constexpr uint8_t bot_genes_5c[13] = { 14,   7,   9,  13,   7,  10,   0,   0,   2,   1,  30, 111, 195};
inline constexpr uint8_t bot_genes_6c[13] = { 11,   0,   5,  10,  13,   0,   7,   2,   1,   2,  97,   4,  38};
inline constexpr uint8_t bot_genes_7c[13] = { 15,   5,   5,  11,   5,   5,   0,   0,   0,   0, 125,  78, 223};

inline constexpr uint8_t bot_genes_0d[13] = {  7,   7,   6,  13,   4,   0,   8,   0,   1,   1, 223,  47,  47};
inline constexpr uint8_t bot_genes_1d[13] = { 12,   7,  15,  13,  21,   8,   2,   1,   0,   0, 134, 125, 220};
inline constexpr uint8_t bot_genes_2d[13] = {  8,   4,   5,   2,  23,   0,   8,   3,   0,   0, 141, 146, 208};
inline constexpr uint8_t bot_genes_3d[13] = { 15,   0,   0,   1,   0,   9,   6,   0,   2,   0,  56,  41,  90};
inline constexpr uint8_t bot_genes_4d[13] = { 23,   2,   6,  10,  17,   0,   0,   0,   0,   0, 217,  85,  52};
inline constexpr uint8_t bot_genes_5d[13] = { 12,   7,  15,   2,  13,  13,   0,   0,   2,   0,  16, 176, 227};
inline constexpr uint8_t bot_genes_6d[13] = {  8,   4,   5,   2,  23,   0,   8,   3,   2,   1,  31, 192,   3};
inline constexpr uint8_t bot_genes_7d[13] = { 12,   3,  13,  11,   0,   8,   0,   1,   1,   1,  95, 139, 199};

inline constexpr uint8_t bot_genes_0e[13] = { 12,   0,   6,   6,  15,   5,   0,   0,   0,   2, 238,  56, 130};
inline constexpr uint8_t bot_genes_1e[13] = { 15,   2,   0,   2,   6,   0,   3,   0,   1,   0,  96,  59, 197};
inline constexpr uint8_t bot_genes_2e[13] = {  7,   0,   6,   1,  20,   7,   8,   0,   2,   2, 131, 206, 218};
inline constexpr uint8_t bot_genes_3e[13] = { 21,   6,   1,  10,  21,   2,   8,   0,   2,   2, 202,  70,  29};
inline constexpr uint8_t bot_genes_4e[13] = {  6,   5,   0,   5,  20,   0,   8,   2,   2,   2, 183,  29, 242};
inline constexpr uint8_t bot_genes_5e[13] = {  1,   0,   0,  12,   6,   7,   1,   0,   2,   2, 128, 199, 185};
inline constexpr uint8_t bot_genes_6e[13] = { 10,   0,   6,  13,   6,   8,   0,   0,   0,   2,  94,   6, 234};
inline constexpr uint8_t bot_genes_7e[13] = { 10,   0,  13,   5,   7,   9,   0,   0,   0,   0,  50, 202, 105};

inline constexpr uint8_t bot_genes_0f[13] = {  5,   0,  10,   2,  11,   0,   6,   0,   2,   0, 205,  87, 243};
inline constexpr uint8_t bot_genes_1f[13] = { 13,   0,   0,  12,   0,  15,   0,   2,   0,   1, 174, 247,  91};
inline constexpr uint8_t bot_genes_2f[13] = { 32,   5,   9,  11,   0,   0,   2,   0,   2,   1, 232,  15,  84};
inline constexpr uint8_t bot_genes_3f[13] = { 15,   4,   3,  11,   4,   0,   6,   0,   0,   0, 150,  40, 154};
inline constexpr uint8_t bot_genes_4f[13] = { 32,   5,   9,  11,   0,   0,   2,   0,   2,   1, 243,  30,  57};
inline constexpr uint8_t bot_genes_5f[13] = { 15,   4,   3,  11,   4,   0,   6,   0,   0,   0, 149,  17, 192};
inline constexpr uint8_t bot_genes_6f[13] = {  5,   0,  10,   2,  11,   0,   6,   0,   2,   0, 195,  66, 224};
inline constexpr uint8_t bot_genes_7f[13] = { 13,   0,   0,  12,   0,  15,   0,   2,   0,   1, 187, 227,  78};

inline constexpr uint8_t bot_genes_0g[13] = { 23,   0,   0,  10,   4,   2,   5,   1,   2,   1, 110,  27, 112};
inline constexpr uint8_t bot_genes_1g[13] = {  0,   4,   9,  12,   4,   0,   7,   3,   1,   0,  28,  64,  22};
inline constexpr uint8_t bot_genes_2g[13] = { 12,   6,   3,   3,  22,  10,   7,   0,   1,   1, 236, 224, 244};
inline constexpr uint8_t bot_genes_3g[13] = { 14,   4,   9,   3,  22,  10,   7,   0,   1,   1, 236, 231, 212};
inline constexpr uint8_t bot_genes_4g[13] = { 35,   7,   1,   3,   0,   9,   0,   0,   0,   0,   6, 110,  33};
inline constexpr uint8_t bot_genes_5g[13] = {  7,   2,   3,   3,   2,  13,   2,   0,   1,   2,  68,  87, 195};
inline constexpr uint8_t bot_genes_6g[13] = {  9,   4,   0,  12,  20,   0,   8,   0,   1,   0,  50, 221,  15};
inline constexpr uint8_t bot_genes_7g[13] = { 12,   6,   1,   2,   4,   0,   3,   1,   0,   1, 219, 175, 212};

inline constexpr uint8_t bot_genes_0h[13] = { 26,   0,   5,   1,   7,   0,   0,   3,   0,   1,  12, 173, 103};
inline constexpr uint8_t bot_genes_1h[13] = {  2,   6,  15,  12,   2,   0,   4,   3,   2,   0,  56,  83, 176};
inline constexpr uint8_t bot_genes_2h[13] = { 13,   5,   6,  13,   0,   6,   0,   0,   2,   0,  54,  77, 185};
inline constexpr uint8_t bot_genes_3h[13] = { 13,   5,   6,  13,   0,   6,   0,   0,   2,   1,  13,  37, 136};
inline constexpr uint8_t bot_genes_4h[13] = { 18,   8,   3,  13,  12,   0,   4,   0,   0,   2,  42, 114, 130};
inline constexpr uint8_t bot_genes_5h[13] = { 13,   0,   6,  13,   0,   6,   0,   0,   2,   1,  16,  33, 152};
inline constexpr uint8_t bot_genes_6h[13] = { 29,   1,  14,  12,   5,   2,   6,   1,   0,   2,  86, 244, 253};
inline constexpr uint8_t bot_genes_7h[13] = { 29,   1,  15,   2,  19,  14,   2,   0,   2,   0,   2, 127, 140};

inline constexpr uint8_t bot_genes_0i[13] = { 28,   5,   2,  11,   4,  15,   0,   0,   2,   2, 126, 181, 251};
inline constexpr uint8_t bot_genes_1i[13] = { 28,   5,   2,  11,   4,  15,   0,   0,   2,   2, 139, 200, 228};
inline constexpr uint8_t bot_genes_2i[13] = { 12,   6,   0,  11,   7,   0,   4,   0,   0,   1, 249,  88, 216};
inline constexpr uint8_t bot_genes_3i[13] = { 10,   6,   9,  11,   4,   0,   0,   0,   2,   0,  10,  41, 240};
inline constexpr uint8_t bot_genes_4i[13] = { 15,   0,  11,  12,  22,   0,   0,   1,   2,   2, 194,  97, 212};
inline constexpr uint8_t bot_genes_5i[13] = { 12,   7,   1,   1,  23,   1,   2,   3,   0,   0, 248, 219,  67};
inline constexpr uint8_t bot_genes_6i[13] = {  6,   3,  12,  11,   5,   6,   0,   0,   2,   2, 113, 105, 185};
inline constexpr uint8_t bot_genes_7i[13] = { 12,   0,   6,  13,   0,  11,   0,   0,   2,   1, 131,   4,  73};

inline constexpr uint8_t bot_genes_0j[13] = { 12,   0,   9,  10,  13,  13,   0,   1,   1,   0,  47, 107, 138};
inline constexpr uint8_t bot_genes_1j[13] = {  0,   1,   2,  10,  21,   0,   4,   0,   2,   2,  92,  20,  24};
inline constexpr uint8_t bot_genes_2j[13] = { 14,   4,  12,  10,  13,   0,   0,   0,   1,   2,   0,  99, 211};
inline constexpr uint8_t bot_genes_3j[13] = { 24,   1,   9,   3,  13,   0,   4,   0,   1,   2, 181, 115,  71};
inline constexpr uint8_t bot_genes_4j[13] = { 13,   0,   4,  12,  21,   4,   8,   0,   2,   2,  68,  88, 160};
inline constexpr uint8_t bot_genes_5j[13] = {  0,   6,   7,  13,  13,   4,   0,   0,   1,   0,  98, 184,  69};
inline constexpr uint8_t bot_genes_6j[13] = { 24,   6,   9,  12,  15,   9,   0,   2,   1,   0,  26,  37,  89};
inline constexpr uint8_t bot_genes_7j[13] = { 10,   0,  14,  10,  14,   9,   0,   0,   2,   0,  25, 126, 126};

// clang-format on
