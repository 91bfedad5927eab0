// The eighty preset step functions, step_<bot><community>: the step
// pipeline run with the genes of that bot of that community.
#pragma once

#include "bots/bot.h"

void step_0a(const Core_* core, long* value, long* dir, HSL_888* out);
void step_1a(const Core_* core, long* value, long* dir, HSL_888* out);
void step_2a(const Core_* core, long* value, long* dir, HSL_888* out);
void step_3a(const Core_* core, long* value, long* dir, HSL_888* out);
void step_4a(const Core_* core, long* value, long* dir, HSL_888* out);
void step_5a(const Core_* core, long* value, long* dir, HSL_888* out);
void step_6a(const Core_* core, long* value, long* dir, HSL_888* out);
void step_7a(const Core_* core, long* value, long* dir, HSL_888* out);

void step_0b(const Core_* core, long* value, long* dir, HSL_888* out);
void step_1b(const Core_* core, long* value, long* dir, HSL_888* out);
void step_2b(const Core_* core, long* value, long* dir, HSL_888* out);
void step_3b(const Core_* core, long* value, long* dir, HSL_888* out);
void step_4b(const Core_* core, long* value, long* dir, HSL_888* out);
void step_5b(const Core_* core, long* value, long* dir, HSL_888* out);
void step_6b(const Core_* core, long* value, long* dir, HSL_888* out);
void step_7b(const Core_* core, long* value, long* dir, HSL_888* out);

void step_0c(const Core_* core, long* value, long* dir, HSL_888* out);
void step_1c(const Core_* core, long* value, long* dir, HSL_888* out);
void step_2c(const Core_* core, long* value, long* dir, HSL_888* out);
void step_3c(const Core_* core, long* value, long* dir, HSL_888* out);
void step_4c(const Core_* core, long* value, long* dir, HSL_888* out);
void step_5c(const Core_* core, long* value, long* dir, HSL_888* out);
void step_6c(const Core_* core, long* value, long* dir, HSL_888* out);
void step_7c(const Core_* core, long* value, long* dir, HSL_888* out);

void step_0d(const Core_* core, long* value, long* dir, HSL_888* out);
void step_1d(const Core_* core, long* value, long* dir, HSL_888* out);
void step_2d(const Core_* core, long* value, long* dir, HSL_888* out);
void step_3d(const Core_* core, long* value, long* dir, HSL_888* out);
void step_4d(const Core_* core, long* value, long* dir, HSL_888* out);
void step_5d(const Core_* core, long* value, long* dir, HSL_888* out);
void step_6d(const Core_* core, long* value, long* dir, HSL_888* out);
void step_7d(const Core_* core, long* value, long* dir, HSL_888* out);

void step_0e(const Core_* core, long* value, long* dir, HSL_888* out);
void step_1e(const Core_* core, long* value, long* dir, HSL_888* out);
void step_2e(const Core_* core, long* value, long* dir, HSL_888* out);
void step_3e(const Core_* core, long* value, long* dir, HSL_888* out);
void step_4e(const Core_* core, long* value, long* dir, HSL_888* out);
void step_5e(const Core_* core, long* value, long* dir, HSL_888* out);
void step_6e(const Core_* core, long* value, long* dir, HSL_888* out);
void step_7e(const Core_* core, long* value, long* dir, HSL_888* out);

void step_0f(const Core_* core, long* value, long* dir, HSL_888* out);
void step_1f(const Core_* core, long* value, long* dir, HSL_888* out);
void step_2f(const Core_* core, long* value, long* dir, HSL_888* out);
void step_3f(const Core_* core, long* value, long* dir, HSL_888* out);
void step_4f(const Core_* core, long* value, long* dir, HSL_888* out);
void step_5f(const Core_* core, long* value, long* dir, HSL_888* out);
void step_6f(const Core_* core, long* value, long* dir, HSL_888* out);
void step_7f(const Core_* core, long* value, long* dir, HSL_888* out);

void step_0g(const Core_* core, long* value, long* dir, HSL_888* out);
void step_1g(const Core_* core, long* value, long* dir, HSL_888* out);
void step_2g(const Core_* core, long* value, long* dir, HSL_888* out);
void step_3g(const Core_* core, long* value, long* dir, HSL_888* out);
void step_4g(const Core_* core, long* value, long* dir, HSL_888* out);
void step_5g(const Core_* core, long* value, long* dir, HSL_888* out);
void step_6g(const Core_* core, long* value, long* dir, HSL_888* out);
void step_7g(const Core_* core, long* value, long* dir, HSL_888* out);

void step_0h(const Core_* core, long* value, long* dir, HSL_888* out);
void step_1h(const Core_* core, long* value, long* dir, HSL_888* out);
void step_2h(const Core_* core, long* value, long* dir, HSL_888* out);
void step_3h(const Core_* core, long* value, long* dir, HSL_888* out);
void step_4h(const Core_* core, long* value, long* dir, HSL_888* out);
void step_5h(const Core_* core, long* value, long* dir, HSL_888* out);
void step_6h(const Core_* core, long* value, long* dir, HSL_888* out);
void step_7h(const Core_* core, long* value, long* dir, HSL_888* out);

void step_0i(const Core_* core, long* value, long* dir, HSL_888* out);
void step_1i(const Core_* core, long* value, long* dir, HSL_888* out);
void step_2i(const Core_* core, long* value, long* dir, HSL_888* out);
void step_3i(const Core_* core, long* value, long* dir, HSL_888* out);
void step_4i(const Core_* core, long* value, long* dir, HSL_888* out);
void step_5i(const Core_* core, long* value, long* dir, HSL_888* out);
void step_6i(const Core_* core, long* value, long* dir, HSL_888* out);
void step_7i(const Core_* core, long* value, long* dir, HSL_888* out);

void step_0j(const Core_* core, long* value, long* dir, HSL_888* out);
void step_1j(const Core_* core, long* value, long* dir, HSL_888* out);
void step_2j(const Core_* core, long* value, long* dir, HSL_888* out);
void step_3j(const Core_* core, long* value, long* dir, HSL_888* out);
void step_4j(const Core_* core, long* value, long* dir, HSL_888* out);
void step_5j(const Core_* core, long* value, long* dir, HSL_888* out);
void step_6j(const Core_* core, long* value, long* dir, HSL_888* out);
void step_7j(const Core_* core, long* value, long* dir, HSL_888* out);
