namespace {
[[maybe_unused]] constexpr int AppPlaceholder = 0;
}
