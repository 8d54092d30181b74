// The timing bench's yardstick: the smallest SDL2 program that runs
// wordtap's trial. Full screen, SDL's default renderer with vsync asked for,
// the clock read right after SDL_RenderPresent, and a response loop of
// SDL_PollEvent, SDL_GetKeyboardState and SDL_Delay(0). Whatever wordtap
// adds to the spread of its reaction times shows against this program's.
//
// Reads data/words/list.txt in the working directory and writes a results
// file as wordtap does (same name pattern, header and line format). Shows
// seven black bars as its introduction, a black bar as each "word" across
// the middle of the screen, and ends by itself after the last word.
// [Esc] quits at any time.
#include <SDL.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

enum { MaxWords = 4096, MaxWordLength = 64 };

static SDL_Renderer* renderer;
static int width, height;

static void clear_white(void) {
    SDL_SetRenderDrawColor(renderer, 255, 255, 255, 255);
    SDL_RenderClear(renderer);
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
}

static void bar(int x, int y, int w, int h) {
    SDL_Rect r = {x, y, w, h};
    SDL_RenderFillRect(renderer, &r);
}

// 0 on [Esc] or a quit, 1 once [W] or [O] was let go after being seen down.
static int wait_for_response(void) {
    const Uint8* keys = SDL_GetKeyboardState(NULL);
    int seen_w = 0, seen_o = 0;
    for (;;) {
        SDL_Event event;
        while (SDL_PollEvent(&event))
            if (event.type == SDL_QUIT) return 0;
        if (keys[SDL_SCANCODE_ESCAPE]) return 0;
        if (keys[SDL_SCANCODE_W]) seen_w = 1;
        else if (seen_w) return 1;
        if (keys[SDL_SCANCODE_O]) seen_o = 1;
        else if (seen_o) return 2;
        SDL_Delay(0);
    }
}

int main(int argc, char** argv) {
    (void)argc;
    (void)argv;
    static char words[MaxWords][MaxWordLength];
    int count = 0;
    FILE* list = fopen("data/words/list.txt", "rb");
    if (!list) return 1;
    while (count < MaxWords && fgets(words[count], MaxWordLength, list)) {
        words[count][strcspn(words[count], "\r\n")] = 0;
        if (words[count][0]) count++;
    }
    fclose(list);

    if (SDL_Init(SDL_INIT_VIDEO) != 0) return 1;
    // The display's size as well: without a window manager nobody answers
    // the full-screen request, and the window keeps the size it was given.
    SDL_Rect bounds;
    if (SDL_GetDisplayBounds(0, &bounds) != 0) return 1;
    SDL_Window* window = SDL_CreateWindow("reference", bounds.x, bounds.y, bounds.w, bounds.h,
                                          SDL_WINDOW_FULLSCREEN_DESKTOP);
    renderer = window ? SDL_CreateRenderer(window, -1, SDL_RENDERER_PRESENTVSYNC) : NULL;
    if (!renderer) return 1;
    // Without a window manager the keyboard focus is whatever the last
    // program left (nothing, once its window is gone): take it and wait
    // until it has arrived, or the first answer could go nowhere.
    for (int tries = 0; tries < 200 && SDL_GetKeyboardFocus() != window; tries++) {
        SDL_RaiseWindow(window);
        SDL_SetWindowInputFocus(window);
        SDL_Delay(10);
        SDL_PumpEvents();
    }
    SDL_ShowCursor(SDL_DISABLE);
    SDL_GetRendererOutputSize(renderer, &width, &height);
    SDL_RendererInfo info;
    if (SDL_GetRendererInfo(renderer, &info) == 0) fprintf(stderr, "renderer: %s\n", info.name);

    char name[64];
    time_t now = time(NULL);
    strftime(name, sizeof name, "results_%Y%m%d-%H%M%S.txt", localtime(&now));
    FILE* results = fopen(name, "wb");
    if (!results) return 1;
    fputs("time\tkey\tword\r\n", results);
    fflush(results);

    // The introduction: seven bars, none across the middle strip.
    clear_white();
    static const int rows[7] = {100, 150, 200, 250, 550, 600, 650};
    for (int i = 0; i < 7; i++) bar(width / 4, rows[i] * height / 768, width / 2, 10);
    SDL_RenderPresent(renderer);
    if (!wait_for_response()) return 0;

    for (int i = 0; i < count; i++) {
        clear_white();
        SDL_RenderPresent(renderer);
        SDL_Delay(400);
        clear_white();
        const int w = (int)strlen(words[i]) * height / 50;
        bar((width - w) / 2, height / 2 - 12, w, 24);
        SDL_Delay(100);
        SDL_RenderPresent(renderer);
        const Uint32 start = SDL_GetTicks();
        const int response = wait_for_response();
        const Uint32 elapsed = SDL_GetTicks() - start;
        if (!response) break;
        fprintf(results, "%3u.%03u\t%s\t%s\r\n", elapsed / 1000, elapsed % 1000,
                response == 1 ? "W" : "O", words[i]);
        fflush(results);
    }
    fclose(results);
    SDL_Quit();
    return 0;
}
