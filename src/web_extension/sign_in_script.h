#pragma once
// The part of the sign-in form finder that reads the page. It runs in the
// extension's own script world: the page's scripts share the document with
// it but see none of its objects, cannot call it and cannot change the DOM
// methods it uses. It never sends anything by itself; the extension's C++
// code reads what it returns and decides what goes to the program.
//
//   nuveSignIn.install(report)   listens for the user entering or clicking the username
//                                field of a numbered form (its password field when it has none);
//                                report(number, x, y, width, height) is the extension's
//                                own function
//   nuveSignIn.scan(elements, n) numbers the new sign-in forms among `elements` (forms
//                                or controls) from n on; returns the numbers given
//   nuveSignIn.forSubmit(form)   [username field or null, password field] of a sign-in form
//   nuveSignIn.forFill(number)   [visible username field or null, password field] when the
//                                numbered form is still a sign-in form whose password
//                                field can be seen; null otherwise

namespace nuve::web_extension {

inline constexpr char kSignInScript[] = R"JS(
(() => {
  'use strict';
  const kMaxControls = 500;
  const kMaxForms = 50;
  const kTextTypes = new Set(['text', 'email', 'tel', 'url']);
  const numbers = new WeakMap();
  const forms = new Map();
  let report = null;

  // A field the user can see and type into. Pages hide fields to catch
  // password managers out: display or visibility, no size, transparency,
  // or a place outside the page.
  function isVisible(field) {
    if (!field.isConnected || field.disabled || field.readOnly) return false;
    if (field.getClientRects().length === 0) return false;
    const r = field.getBoundingClientRect();
    if (r.width < 2 || r.height < 2) return false;
    if (r.right + window.scrollX <= 0 || r.bottom + window.scrollY <= 0) return false;
    if (getComputedStyle(field).visibility !== 'visible') return false;
    for (let e = field; e !== null; e = e.parentElement) {
      if (parseFloat(getComputedStyle(e).opacity) < 0.1) return false;
    }
    return true;
  }

  // A sign-in form has exactly one password field among its first
  // controls (forms with more are for registering or changing a password);
  // its username field is the last text field before it, a visible one if
  // there is one. Returns [visible username, any username, password].
  function fields(form) {
    if (!form || form.tagName !== 'FORM') return null;
    const controls = form.elements;
    const count = Math.min(controls.length, kMaxControls);
    let password = null;
    let visibleText = null;
    let anyText = null;
    let username = [null, null];
    for (let i = 0; i < count; i++) {
      const control = controls[i];
      if (control.tagName !== 'INPUT') continue;
      const type = control.type;
      if (type === 'password') {
        if (password !== null) return null;
        password = control;
        username = [visibleText, anyText];
      } else if (password === null && kTextTypes.has(type)) {
        anyText = control;
        if (isVisible(control)) visibleText = control;
      }
    }
    return password === null ? null : [username[0], username[1], password];
  }

  function onFocus(event) {
    if (!event.isTrusted || report === null) return;
    const target = event.target;
    if (!target || target.tagName !== 'INPUT' || !target.form) return;
    const number = numbers.get(target.form);
    if (number === undefined) return;
    const found = fields(target.form);
    if (found === null) return;
    // The username field, or the password field of a form without one.
    const anchor = found[0] !== null ? found[0] : found[2];
    if (target !== anchor || !isVisible(anchor)) return;
    const r = anchor.getBoundingClientRect();
    report(number, r.left, r.top, r.width, r.height);
  }

  const api = {
    install(reporter) {
      report = reporter;
      // Entering the field, or clicking into it once it has the focus.
      window.addEventListener('focusin', onFocus, true);
      window.addEventListener('click', onFocus, true);
    },
    scan(elements, next) {
      const given = [];
      for (const element of elements) {
        const form = element.tagName === 'FORM' ? element : element.form;
        if (!form || numbers.has(form) || forms.size >= kMaxForms) continue;
        if (fields(form) === null) continue;
        numbers.set(form, next);
        forms.set(next, form);
        given.push(next);
        next++;
      }
      return given;
    },
    forSubmit(form) {
      const found = fields(form);
      if (found === null) return null;
      return [found[0] !== null ? found[0] : found[1], found[2]];
    },
    forFill(number) {
      const form = forms.get(number);
      if (form === undefined || !form.isConnected) return null;
      const found = fields(form);
      if (found === null || !isVisible(found[2])) return null;
      return [found[0], found[2]];
    },
  };
  Object.freeze(api);
  Object.defineProperty(globalThis, 'nuveSignIn', {value: api});
})();
)JS";

}  // namespace nuve::web_extension
