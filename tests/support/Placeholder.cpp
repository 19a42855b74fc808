// Keeps the support library non-empty while it has no other sources.
namespace {
[[maybe_unused]] constexpr int SupportPlaceholder = 0;
}
