// Placeholder so that orvane_test_support exists before the shared test
// helpers are merged; the lead replaces it.
namespace orvane::test_support {
inline int PlaceholderSupport() { return 0; }
}  // namespace orvane::test_support
