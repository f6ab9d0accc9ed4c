#include "convert/clips/clip_counts.h"

ClipStageCounts clip_counts;
