// Tests of the Windows error_texts wrapper, under Wine.
