// Small characters of the scene, each with a dark outline: a walking hero, a
// bouncing slime and a flapping bird. Drawn from character maps, one letter per pixel.
#pragma once

#include "image.h"

enum class SpriteKind { Hero, Slime, Bird };

// Size in art pixels of a sprite kind.
int SpriteWidth(SpriteKind kind);
int SpriteHeight(SpriteKind kind);

// Draws animation frame `frame` (any integer; it wraps) of the sprite with its
// top-left corner at (x, y). Transparent pixels leave the image alone.
void DrawSprite(Image565& image, SpriteKind kind, int frame, int x, int y);
