#pragma once

// The look every kelvane-sim page shares (run report, sweep report, comparison): colours, type, the dark
// header band, the centred column and the white section boxes. Each page appends its own rules after it;
// a later rule of the same selector wins.

namespace ksim {

inline constexpr char kPageStyle[] = R"css(
:root { --ink:#111827; --muted:#6b7280; --line:#e5e7eb; --soft:#f9fafb; }
* { box-sizing: border-box; }
body { margin: 0; background: #f3f4f6; color: var(--ink);
  font: 14px/1.45 'Helvetica Neue', Helvetica, Arial, 'Liberation Sans', 'DejaVu Sans', sans-serif; }
header { background: #111827; color: #f9fafb; padding: 22px 0 20px; }
.wrap { max-width: 1180px; margin: 0 auto; padding: 0 28px; }
header h1 { margin: 0; font-size: 22px; font-weight: 600; }
header .sub { color: #9ca3af; margin-top: 4px; }
section { background: #fff; border: 1px solid var(--line); border-radius: 10px; padding: 18px 22px; margin-top: 18px; }
section h2 { font-size: 16px; font-weight: 600; margin: 0 0 12px; }
)css";

}  // namespace ksim
