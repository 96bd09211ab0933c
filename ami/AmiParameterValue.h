#pragma once

// Classification of the texts of the AMI parameter string: value types, reserved words and
// the tags of leaf names. All comparisons are exact, case included.

// ParamValueType of a value text (null and empty give kParamEmpty). A text that reads as a
// number only by overflowing to infinity, or that spells a NaN or an infinity, is a word:
// a parameter value is a finite number or not a number at all.
int ClassifyParamValue(const char* text) noexcept;

// Index of `text` in the reserved-word table ("In" 0 ... "DjRj" 19), or -1.
int ReservedWordCode(const char* text) noexcept;

// Tag of a leaf's name: 1 "Usage", 2 "Type", 3 "Format", 4 "Default", 5 "Description", 6 "Labels", else 0.
int LeafNameTag(const char* name) noexcept;
