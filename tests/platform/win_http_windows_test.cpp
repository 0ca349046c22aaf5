// Tests of the Windows win_http wrapper, under Wine.
