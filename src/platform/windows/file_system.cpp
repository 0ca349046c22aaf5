// Filled in by the platform work; kept so the build lists every Windows source.
