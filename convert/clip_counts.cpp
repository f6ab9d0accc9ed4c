#include "convert/clip_counts.h"

ClipStageCounts clip_counts;
