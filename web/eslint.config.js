import js from "@eslint/js";
import globals from "globals";

export default [
  js.configs.recommended,
  { files: ["src/**/*.js"], languageOptions: { globals: globals.browser } },
  { files: ["build.mjs", "test/**/*.mjs", "eslint.config.js"], languageOptions: { globals: globals.node } },
  { files: ["test/**/*.mjs"], languageOptions: { globals: { ...globals.node, ...globals.browser } } },
];
