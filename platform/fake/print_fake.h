// Test controls of the fake printer and capture: the image a capture gives,
// the printer dialog's answer, a step that fails, and what was printed.
#pragma once

#include <string>
#include <vector>

#include "platform/print.h"

struct FakePrinted {
    std::string document;
    std::vector<std::string> texts;   // in order
    std::vector<int> text_y;
    int image_x, image_y, image_w, image_h;   // -1 when no image
    int image_src_w, image_src_h;
    bool ended;
};

void fake_print_reset();
// The capture gives a w x h image whose pixel (x, y) is (x, y, x + y)
// modulo 256; 0 x 0 gives CAPTURE_EMPTY, a negative size CAPTURE_NO_IMAGE.
void fake_print_set_capture(int w, int h);
// The answer of the printer dialog and the page it gives.
void fake_print_answer(int result, int page_w = 2000, int page_h = 3000, int line_h = 40);
void fake_print_fail_end(int result);            // plat_print_end's result
void fake_print_fail_image(int result);          // plat_print_image's result
const std::vector<FakePrinted>& fake_printed();
int fake_print_captures_open();                   // captured and not freed
