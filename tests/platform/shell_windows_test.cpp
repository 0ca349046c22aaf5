// Tests of the Windows shell wrapper, under Wine.
