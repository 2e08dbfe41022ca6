/* A "DynamicLoad" object: ConvertParameters reads how many squares to make, Subdivide makes the
 * first (green, by RiColor) and hands the rest to nested procedurals of its own, whose squares
 * are blue by a per-vertex "Cs". Square k spans x in [-3 + 2k + 0.2, -3 + 2k + 1.8]. It links
 * nothing: its Ri calls resolve against the renderer's binding. */
#include <stdlib.h>

#include <ri.h>

typedef struct {
    int index, count;
} Squares;

static void square(int k, int coloured) {
    RtFloat x0 = -3.0f + 2.0f * k + 0.2f, x1 = x0 + 1.6f;
    RtFloat P[12] = {x0, -0.8f, 0, x1, -0.8f, 0, x1, 0.8f, 0, x0, 0.8f, 0};
    RtFloat Cs[12] = {0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1};
    if (coloured)
        RiPolygon(4, RI_P, P, RI_CS, Cs, RI_NULL);
    else
        RiPolygon(4, RI_P, P, RI_NULL);
}

void Free(RtPointer data) { free(data); }

void Subdivide(RtPointer data, RtFloat detail) {
    const Squares* s = (const Squares*)data;
    (void)detail;
    if (s->index == 0) {
        RtColor green = {0, 1, 0};
        RiColor(green);
    }
    square(s->index, s->index > 0);
    if (s->index + 1 < s->count) {
        Squares* next = (Squares*)malloc(sizeof(Squares));
        RtBound bound = {-3, 3, -1, 1, -1, 1};
        next->index = s->index + 1;
        next->count = s->count;
        RiProcedural(next, bound, Subdivide, Free);
    }
}

RtPointer ConvertParameters(char* text) {
    Squares* s = (Squares*)malloc(sizeof(Squares));
    s->index = 0;
    s->count = atoi(text);
    return s;
}
