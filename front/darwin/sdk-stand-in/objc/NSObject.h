// Stand-in for <objc/NSObject.h>: the root class and the NSObject protocol.
#pragma once

#import <objc/objc.h>

#pragma clang assume_nonnull begin

@class NSString, Protocol;
typedef struct _NSZone NSZone;

@protocol NSObject
- (BOOL)isKindOfClass:(Class)aClass;
- (BOOL)respondsToSelector:(SEL)aSelector;
@end

OBJC_ROOT_CLASS
@interface NSObject <NSObject>
+ (instancetype)alloc;
+ (Class)class;
- (instancetype)init;
- (id)copy;
@end

#pragma clang assume_nonnull end
