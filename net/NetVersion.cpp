// Placeholder so that the library has a source until the stack lands.
namespace {
[[maybe_unused]] constexpr int NetLibraryPlaceholder = 0;
}
