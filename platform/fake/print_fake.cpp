// Fake printer and capture for unit tests.
#include "platform/fake/print_fake.h"

#include "core/mempool.h"

static int g_cap_w, g_cap_h;
static int g_answer, g_page_w, g_page_h, g_line_h;
static int g_end_result, g_image_result;
static std::vector<FakePrinted> g_printed;
static int g_captures;

void fake_print_reset() {
    g_cap_w = 64;
    g_cap_h = 32;
    g_answer = PRINT_OK;
    g_page_w = 2000;
    g_page_h = 3000;
    g_line_h = 40;
    g_end_result = g_image_result = PRINT_OK;
    g_printed.clear();
    g_captures = 0;
}

void fake_print_set_capture(int w, int h) {
    g_cap_w = w;
    g_cap_h = h;
}

void fake_print_answer(int result, int page_w, int page_h, int line_h) {
    g_answer = result;
    g_page_w = page_w;
    g_page_h = page_h;
    g_line_h = line_h;
}

void fake_print_fail_end(int result) { g_end_result = result; }
void fake_print_fail_image(int result) { g_image_result = result; }
const std::vector<FakePrinted>& fake_printed() { return g_printed; }
int fake_print_captures_open() { return g_captures; }

int canvas_capture(PlatImage* out) {
    *out = PlatImage{};
    if (g_cap_w < 0 || g_cap_h < 0) return CAPTURE_NO_IMAGE;
    if (g_cap_w == 0 || g_cap_h == 0) return CAPTURE_EMPTY;
    auto* rgb = (uint8_t*)QOBmalloc((size_t)g_cap_w * (size_t)g_cap_h * 3);
    if (!rgb) return CAPTURE_NO_MEMORY;
    for (int y = 0; y < g_cap_h; y++) {
        for (int x = 0; x < g_cap_w; x++) {
            uint8_t* p = rgb + ((size_t)y * (size_t)g_cap_w + (size_t)x) * 3;
            p[0] = (uint8_t)x;
            p[1] = (uint8_t)y;
            p[2] = (uint8_t)(x + y);
        }
    }
    *out = PlatImage{g_cap_w, g_cap_h, rgb};
    g_captures++;
    return CAPTURE_OK;
}

void canvas_capture_free(PlatImage* img) {
    if (img->rgb) {
        QOBfree(img->rgb);
        g_captures--;
    }
    *img = PlatImage{};
}

int plat_print_begin(const char* document, PrintPage* page) {
    if (g_answer != PRINT_OK) return g_answer;
    g_printed.push_back(FakePrinted{document, {}, {}, -1, -1, -1, -1, -1, -1, false});
    *page = PrintPage{g_page_w, g_page_h, g_line_h};
    return PRINT_OK;
}

void plat_print_text(int, int y, const char* text) {
    if (g_printed.empty()) return;
    g_printed.back().texts.push_back(text);
    g_printed.back().text_y.push_back(y);
}

int plat_print_image(const PlatImage* img, int x, int y, int w, int h) {
    if (g_image_result != PRINT_OK) return g_image_result;
    FakePrinted& p = g_printed.back();
    p.image_x = x;
    p.image_y = y;
    p.image_w = w;
    p.image_h = h;
    p.image_src_w = img->w;
    p.image_src_h = img->h;
    return PRINT_OK;
}

int plat_print_end() {
    if (!g_printed.empty()) g_printed.back().ended = g_end_result == PRINT_OK;
    return g_end_result;
}
